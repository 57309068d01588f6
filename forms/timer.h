/* SPDX-License-Identifier: MIT */
// A timer that runs OnTimer on the window thread every Interval
// milliseconds while enabled.  Headless, the virtual clock drives it.
#pragma once

#include "forms/classes.h"

namespace forms {

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned milliseconds);

    TNotifyEvent OnTimer;

    // The back end's tick: runs OnTimer through the application's exception
    // display if the timer is still enabled.
    void Tick();

    bool SetProperty(const DescriptionProperty& property, const HandlerTable& handlers) override;
    void Loaded() override;

private:
    bool enabled_ = true;
    unsigned interval_ = 1000;
    void Update();
};

}  // namespace forms
