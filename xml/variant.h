// Behaviour that differs in the library copy built with XML_BELLMIX_VARIANT,
// the one the mixture plug-in links.
#ifndef XML_VARIANT_H
#define XML_VARIANT_H

#ifdef XML_BELLMIX_VARIANT
// Reals keep twenty significant digits; failed opens stay silent (a failed
// save is reported as in the other copies, so that no model is lost unseen);
// the reader takes the first tag as the document element and the writer
// writes only the first top-level node.
constexpr bool kBellmixVariant = true;
#else
constexpr bool kBellmixVariant = false;
#endif

constexpr const char* kRealFormat = kBellmixVariant ? "%.20g" : "%.10lg";

#endif
