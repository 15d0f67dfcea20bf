#pragma once

#include <QString>

namespace kestrin {

// What start-up shows while it runs: a start-up window when windows are in use, nothing
// for the runs without windows.
class StartupProgress {
public:
    virtual ~StartupProgress() = default;
    virtual void showStatus(const QString& text) = 0; // the current step
    virtual void setTitle(const QString& text) = 0;   // the title line
    virtual void yield() = 0;                         // let the window paint
    virtual void finish() = 0;                        // start-up is over
};

class SilentProgress final : public StartupProgress {
public:
    void showStatus(const QString&) override { }
    void setTitle(const QString&) override { }
    void yield() override { }
    void finish() override { }
};

} // namespace kestrin
