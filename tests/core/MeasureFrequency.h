#pragma once
// Pitch of a rendered signal, for tests that check a note plays in tune.
#include <algorithm>
#include <vector>

// Fundamental by autocorrelation: the first lag between 2 and 20 ms that
// comes close to the best one (whole multiples of the period score as high),
// refined by a parabola through its neighbours.
inline double MeasureFrequency(const std::vector<float>& x, double rate) {
    const int lo = static_cast<int>(rate / 500.0), hi = static_cast<int>(rate / 50.0);
    const size_t n = x.size() - static_cast<size_t>(hi) - 1;
    std::vector<double> r(static_cast<size_t>(hi) + 2, 0.0);
    for (int lag = lo - 1; lag <= hi + 1; ++lag)
        for (size_t i = 0; i < n; ++i)
            r[static_cast<size_t>(lag)] += static_cast<double>(x[i]) * x[i + static_cast<size_t>(lag)];
    double top = 0.0;
    for (int lag = lo; lag <= hi; ++lag)
        top = std::max(top, r[static_cast<size_t>(lag)]);
    int best = lo;
    while (best < hi && r[static_cast<size_t>(best)] < 0.9 * top)
        ++best;
    while (best < hi && r[static_cast<size_t>(best) + 1] > r[static_cast<size_t>(best)])
        ++best;
    const double a = r[static_cast<size_t>(best) - 1], b = r[static_cast<size_t>(best)],
                 c = r[static_cast<size_t>(best) + 1];
    const double shift = (a - c) / (2.0 * (a - 2.0 * b + c));
    return rate / (best + shift);
}
