#pragma once
// Ending the program at once: no further event handler of any window runs, and
// the process exits. The settings are already on disk (each write is flushed).

namespace qf {

class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    // Does not return in the real program.
    virtual void now() = 0;
};

class ProcessEnd : public ProgramEnd {
public:
    [[noreturn]] void now() override;
};

}  // namespace qf
