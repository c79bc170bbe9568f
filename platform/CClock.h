#pragma once
// Stopwatch on the monotonic high-resolution counter; the load meter times
// each render block with it. Safe to use on the audio thread: it neither
// allocates nor locks.

class CClock {
public:
    CClock();
    virtual ~CClock() = default;

    // Records the start count; answers it in seconds (0 without a clock).
    double Start();
    // Records the stop count; answers it in seconds (0 without a clock).
    double Stop();
    // Seconds from the start count to now (0 without a clock).
    double SecondsSinceStart() const;
    // Seconds from start to stop, kept as the last elapsed time; without a
    // clock the last elapsed time is answered unchanged.
    double Elapsed();

    double frequency = 0.0;
    double startCount = 0.0;
    double stopCount = 0.0;
    double elapsed = 0.0;
};
