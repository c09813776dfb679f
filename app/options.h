#pragma once

#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>

// What the command line asks of the program.
struct Options {
    bool windowed = false;
    std::optional<std::uint64_t> seed; // of the first game's world
    int scale = 1;                     // the world's area, in default worlds
    bool mute = false;                 // no sound, kept for the next start too
    QString replay;                    // a replay to watch instead of a new game
    bool verify = false;               // check the replay without a window, and say how it went

    // Reads the arguments (the program's name first). The toolkit's own
    // options (-platform, -style, ...) are let through for it to read. For
    // --help and --version, or a bad option, prints what was asked for or
    // what was wrong and returns the status to exit with instead.
    static std::variant<Options, int> parse(const QStringList& arguments);
};
