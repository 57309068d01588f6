// SPDX-License-Identifier: MIT
#include "forms/timer.h"

#include "forms/backend.h"
#include "forms/forms.h"

namespace forms {

TTimer::TTimer(TComponent* owner) : TComponent(owner)
{
    backend::TimerChanged(*this);
}

TTimer::~TTimer()
{
    backend::TimerDestroyed(*this);
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    Update();
}

void TTimer::SetInterval(unsigned milliseconds)
{
    if (interval_ == milliseconds)
        return;
    interval_ = milliseconds;
    Update();
}

void TTimer::Tick()
{
    if (enabled_ && OnTimer)
        Application->Dispatch([&] { OnTimer(this); });
}

void TTimer::Update()
{
    backend::TimerChanged(*this);
}

bool TTimer::SetProperty(const DescriptionProperty& property, const HandlerTable& handlers)
{
    if (property.name == "Enabled")
        enabled_ = PropertyBool(property);
    else if (property.name == "Interval")
        interval_ = static_cast<unsigned>(PropertyInt(property));
    else if (property.name == "OnTimer")
        OnTimer = handlers.Find(PropertyIdent(property), property.line);
    else
        return TComponent::SetProperty(property, handlers);
    return true;
}

void TTimer::Loaded()
{
    // The description set Enabled and Interval without the setters.
    backend::TimerChanged(*this);
}

}  // namespace forms
