// The exported methods of XMLParser let no exception out: memory that runs
// out inside one ends the process with "Out of memory.", as it does
// everywhere else in the library.
#ifndef XML_GUARD_H
#define XML_GUARD_H

#include <new>
#include <stdexcept>

#include "scriptrun/messages.h"

template <typename Body>
auto guarded(Body body) -> decltype(body())
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        fatal_message("Out of memory.");
    } catch (const std::length_error&) {
        fatal_message("Out of memory.");
    }
}

#endif
