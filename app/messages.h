#pragma once

#include <QString>

// Everything the program writes to the terminal goes through here.
// Nothing is written more than once a second, whatever the platform or the
// display throws at the toolkit; and a window system that cannot be reached
// at start-up ends the program with one line that says what to do, instead
// of the toolkit's abort.
namespace messages {

void install();

// What a file holds, or a file's name, as it may be shown: every character
// that is not printable (an escape, a NUL, a line break) as "?".
QString printable(const QString& text);

// The program is up: what the toolkit said while it started is shown, and
// its failures from now on are no longer start-up failures.
void started();

// Ends the program before any window is shown: one line on stderr, status 1.
[[noreturn]] void fail(const char* what);

} // namespace messages
