#include "platform/CClock.h"

#include "os/OClock.h"

CClock::CClock()
    : frequency(static_cast<double>(os::ClockFrequency()))
{
}

double CClock::Start()
{
    startCount = static_cast<double>(os::ClockCounter());
    return frequency > 0.0 ? startCount / frequency : 0.0;
}

double CClock::Stop()
{
    stopCount = static_cast<double>(os::ClockCounter());
    return frequency > 0.0 ? stopCount / frequency : 0.0;
}

double CClock::SecondsSinceStart() const
{
    if (frequency <= 0.0)
        return 0.0;
    return (static_cast<double>(os::ClockCounter()) - startCount) / frequency;
}

double CClock::Elapsed()
{
    if (frequency > 0.0)
        elapsed = (stopCount - startCount) / frequency;
    return elapsed;
}
