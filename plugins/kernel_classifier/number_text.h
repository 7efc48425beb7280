// The numbers that the kernel classifiers' model and init files hold as
// attribute text: a value that is not a number, or not a finite one, makes
// the file inconsistent.
#ifndef KERNEL_CLASSIFIER_NUMBER_TEXT_H
#define KERNEL_CLASSIFIER_NUMBER_TEXT_H

class XMLParser;

// Whether text is one finite number and nothing else (blanks around it
// allowed): not "", "abc", "1x", "nan" or "inf".
bool is_finite_number_text(const char* text);

// Whether every item of the list attribute name, cut at the characters of
// separators (empty items are no items), is a finite number; true when the
// attribute is absent, whose size the caller checks.
bool attribute_items_finite(XMLParser** h, const char* name, const char* separators);

#endif
