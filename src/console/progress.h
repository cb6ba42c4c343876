// The line that shows a long run's progress on a terminal's standard error:
// drawn once the run has gone on for a second, redrawn a few times a second,
// erased before anything else is written to the terminal and at the end.
#pragma once

#include <cstdint>
#include <string>

class Progress {
public:
    // Starts counting time; draws nothing unless `wanted` (standard error is
    // a terminal, and the user did not turn it off).
    void start(bool wanted);
    // An entry of `path` met; `met` and `renamed` so far.
    void note(const char* path, unsigned long met, unsigned long renamed) {
        if (on) noteNow(path, met, renamed);
    }
    // True where the line may be drawn.
    bool isOn() const { return on; }
    // Takes the line off the screen, where it is drawn.
    void erase() {
        if (drawn) eraseNow();
    }

private:
    void noteNow(const char* path, unsigned long met, unsigned long renamed);
    void eraseNow();

    bool on = false;
    bool drawn = false;
    uint32_t started = 0, lastDrawn = 0;
    std::size_t width = 0;  // of the line drawn
};

// The run's progress line: one for the process, since the ways it ends erase
// it too. Inline: every result line asks it.
inline Progress& progress() {
    static Progress line;  // constant-initialized: no guard
    return line;
}

// The line for `met` entries met and `renamed` renamed in the folder `path`
// (its directory part), cut to fit `columns`, at a character's end.
std::string progressLine(const char* path, unsigned long met, unsigned long renamed, std::size_t columns);
