// Text from the version center (titles, comments, patch numbers, names,
// urls) and from plug-ins is hostile until shown otherwise: written to a
// terminal as it came, an escape sequence in it could move the cursor,
// rewrite what the host printed before, change the window title or forge
// whole lines of output. The host passes every such text through Printable.
#ifndef VESK_HOST_PRINTABLE_H
#define VESK_HOST_PRINTABLE_H

#include <string>

/// `text` with every character that controls a terminal written as an
/// escape instead: the C0 controls (ESC, BEL, CR, LF, TAB and the others) as
/// \e, \a, \r, \n, \t or \xNN, DEL as \x7f, the C1 controls U+0080-U+009F
/// as \u0080-\u009f, the characters that reorder text on screen (U+061C,
/// U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) as \uNNNN, and every
/// byte that is not part of well-formed UTF-8 as \xNN. Everything else,
/// backslashes included, is kept as it is. Null is the empty text.
std::string Printable(const char* text);
std::string Printable(const std::string& text);

/// The same, but line breaks (LF) are kept: for a text of several lines
/// that the host prints as a whole.
std::string PrintableLines(const std::string& text);

#endif // VESK_HOST_PRINTABLE_H
