#include "engine/CResample.h"
#include "engine/CSampleVoiceSource.h"
#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <numbers>

namespace {

// Every kernel the resampler can ask for, built once per process when the
// first resampler is constructed (at engine start-up), so that a note start
// on the audio thread never computes or allocates one.
struct KernelCache {
    std::unique_ptr<float[]> storage;
    const float* kernels[CResample::kMaxHalfWidth + 1] = {};

    KernelCache()
    {
        constexpr int kMax = CResample::kMaxHalfWidth;
        constexpr int kSteps = CResample::kKernelSteps;
        // Kernel w holds w * 1000 + 1 points plus one zero behind them, which
        // catches lookups that land just past the window's end.
        size_t total = 0;
        for (int w = 1; w <= kMax; ++w)
            total += static_cast<size_t>(w) * kSteps + 2;
        storage = std::make_unique<float[]>(total);
        std::fill(storage.get(), storage.get() + total, 0.0f);

        // sin(x)/x is the same for every width; only the window differs.
        const int longest = kMax * kSteps;
        std::unique_ptr<float[]> sinc = std::make_unique<float[]>(longest + 1);
        sinc[0] = 1.0f;
        float x = 0.0f;
        for (int i = 1; i <= longest; ++i) {
            x += 0.0031415927f;
            sinc[i] = static_cast<float>(std::sin(static_cast<double>(x)) / x);
        }

        float* p = storage.get();
        for (int w = 1; w <= kMax; ++w) {
            const int n = w * kSteps;
            p[0] = 1.0f;
            for (int i = 1; i <= n; ++i) {
                const double window = 0.5 + 0.5 * std::cos(i * std::numbers::pi / n);
                p[i] = static_cast<float>(sinc[i] * window);
            }
            kernels[w] = p;
            p += n + 2;
        }
    }
};

const KernelCache& Cache()
{
    static const KernelCache cache;
    return cache;
}

} // namespace

CResample::CResample()
{
    // Builds the shared kernels now rather than at the first note.
    kernel = Cache().kernels[kDefaultHalfWidth];
}

const float* CResample::GetKernel(int w)
{
    if (w < 1 || w > kMaxHalfWidth)
        return nullptr;
    return Cache().kernels[w];
}

bool CResample::Start(CSampleVoiceSource* src, float r, int w, int v)
{
    const float ar = std::fabs(r);
    if (!(ar < 65536.0f) || w < 0 || w > 65536) {
        running = 0;
        return false;
    }
    if (w <= 0)
        w = kDefaultHalfWidth;
    // Transposing up needs a kernel wide enough for the stretched sinc.
    if (w < static_cast<int>(2.0f * ar))
        w = static_cast<int>(2.0f * std::ceil(ar));
    w = std::min(w, kMaxHalfWidth);

    halfWidth = w;
    ringLength = 2 * w;
    kernelLength = w * kKernelSteps;
    kernel = GetKernel(w);
    ratio = r;
    voice = v;
    source = src;
    tapCounter = 0;
    std::fill(std::begin(ring), std::end(ring), 0.0f);
    if (source) {
        const int dir = r >= 0.0f ? 1 : -1;
        for (int i = w - 1; i <= 2 * w - 1; ++i)
            ring[i] = source->NextSample(voice, dir);
    }
    position = 0.0f;
    startOffset = 1.0f - static_cast<float>(w);
    running = 1;
    return true;
}

float CResample::Process(float r)
{
    if (!running)
        return 0.0f;
    float ar = std::fabs(r);
    if (!(ar < 65536.0f))
        ar = 0.0f;

    if (position >= 1.0f) {
        const int n = static_cast<int>(std::lround(position));
        position -= static_cast<float>(n);
        const int dir = ratio >= 0.0f ? 1 : -1;
        int keep = ringLength - n;
        if (n > ringLength) {
            if (source)
                source->AdvanceVoice(voice, dir, n - ringLength);
            keep = 0;
        }
        if (keep > 0)
            std::copy(ring + n, ring + ringLength, ring);
        for (int i = std::max(keep, 0); i < ringLength; ++i)
            ring[i] = source ? source->NextSample(voice, dir) : 0.0f;
        tapCounter += static_cast<uint32_t>(n);
    }

    const float s = ar <= 1.0f ? 1.0f : 1.0f / ar;
    const float step = static_cast<float>(kKernelSteps) * s;
    // Lookups past the window read the zero stored behind it.
    const long last = kernelLength + 1;
    float out = 0.0f;
    for (int i = 0; i < ringLength; ++i) {
        long idx = std::labs(std::lrint((startOffset - position + static_cast<float>(i)) * step));
        out += ring[i] * kernel[std::min(idx, last)];
    }
    position += ar;
    return s * out;
}

void CResample::Free()
{
    // The ring belongs to the object for its whole life; stopping is enough.
    running = 0;
}
