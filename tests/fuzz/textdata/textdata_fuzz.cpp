// Parses arbitrary bytes as a text table. A table that reads must be whole
// (rows * cols finite values); a refusal must be a message of printable
// characters only, however hostile the bytes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "plugins/textdata/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TextTable table;
    std::string error;
    std::string text(reinterpret_cast<const char*>(data), size);
    if (parse_text_table(text, table, error)) {
        if (table.rows < 1 || table.cols < 1 ||
            table.values.size() != static_cast<size_t>(table.rows) * table.cols || !error.empty())
            abort();
        for (size_t i = 0; i < table.values.size(); ++i)
            if (!std::isfinite(table.values.data()[i]))
                abort();
        return 0;
    }
    if (error.empty())
        abort();
    for (unsigned char c : error)
        if (c < 0x20 || c >= 0x7f)
            abort();
    return 0;
}
