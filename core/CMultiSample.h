#pragma once
// A sampled instrument of one part's oscillator: 16 key zones with up to two
// velocity layers each, described by a ".qvi" file. One object serves every
// voice of its part: it keeps the playback state of all voices for both
// layers.
//
// Files are loaded on the GUI thread while the audio thread plays voices of
// the same object. Everything a load needs is read first; zones are swapped
// and freed only between the owner's guard calls (SetFreeGuard), which stop
// the part's voices and keep render calls out, so a voice never reads a
// freed zone.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/CSample.h"
#include "engine/CSampleVoiceSource.h"

class CMultiSample : public CSampleVoiceSource {
public:
    static constexpr int kZones = 16;
    static constexpr int kLayers = CSample::kLayers;
    static constexpr int kVoices = 128;
    static constexpr int kPathSize = 512;
    static constexpr int kNameSize = 128;
    // The .qvi layout.
    static constexpr size_t kFileSize = 3220;
    static constexpr size_t kHeaderSize = 80;
    static constexpr size_t kZoneOffset = 148;
    static constexpr size_t kZoneSize = 192;

    // Called on the loading thread with begin = true before zone data is
    // swapped or freed, and with begin = false once the change is complete.
    // Between the two calls no render call may run the part's voices.
    using FreeGuard = void (*)(void* context, const CMultiSample* which, bool begin);

    // Playback state of one voice and layer.
    struct VoiceLayer {
        int32_t position = 0;       // frames
        int32_t frames = 0;
        int32_t endIndex = 0;       // frames: the position must stay below it
        int32_t channelStep = 1;    // channels of the layer
        int32_t loopStart = 0;      // frames
        int32_t loopEnd = 0;
        int32_t crossfadeStart = 0;
        float crossfadeRecip = 0.0f;
        float gain = 0.0f;
        const float* sample = nullptr; // first real frame; nullptr: no layer
    };

    CMultiSample();
    ~CMultiSample() override;
    CMultiSample(const CMultiSample&) = delete;
    CMultiSample& operator=(const CMultiSample&) = delete;

    void SetFreeGuard(FreeGuard guard, void* context);

    bool Open(const char* path);
    // The same with the description already in memory (at least kFileSize
    // bytes); path still says where the layers' sound files are. A float
    // that is not a finite number takes its default, logged once per file.
    bool OpenBytes(const char* path, std::span<const unsigned char> file);
    void OpenIfChanged(const char* path);
    bool New(const char* path);
    // True when there is nothing to save; false when nothing is loaded or the
    // file cannot be written, which is said in an "Error" box, or added to
    // failures when given (see os::ReplaceFileOrSay).
    bool Save(std::string* failures = nullptr);
    bool AssignZoneFile(const char* sourcePath, int zone, int layer);
    void ClearZoneLayer(int zone, int layer);
    void ResetVoices();

    // Audio thread: the pitch ratio of the new voice, -1 when no zone fits,
    // 0 when nothing is loaded.
    float StartVoice(int voice, float pitch, float velocity);
    void SetVoiceLayerMix(int voice, float x);
    // The path as written into a program record ("$SAMPLE$" stands for the
    // sample folder setting).
    void GetStoredPath(char* out, size_t size) const;
    template <size_t N>
    void GetStoredPath(char (&out)[N]) const
    {
        GetStoredPath(out, N);
    }
    bool UsesSincResampler() const { return sincFlag != 0; }

    // CSampleVoiceSource
    float NextSample(int voice, int direction) override;
    void AdvanceVoice(int voice, int direction, int frames) override;
    bool GetVoiceLayer(int voice, int layer, SampleLayerView& out) const override;
    float GetVoicePitchScale(int voice) const override;
    void SetVoicePosition(int voice, int layer, int32_t frames) override;
    uint32_t GetLoopEnable() const override { return loopEnable; }
    float GetLoopCrossfade() const override { return loopCrossfade; }

    // Editor accessors: getters answer 0 (or an empty text) and setters do
    // nothing while not loaded or for a missing zone; setters mark dirty.
    void GetName(char* out, size_t size) const;
    void GetZoneFileName(int zone, int layer, char* out, size_t size) const;
    int32_t GetZoneRootKey(int zone) const;
    void SetZoneRootKey(int zone, int32_t key);
    int32_t GetZoneUpperKey(int zone) const;
    void SetZoneUpperKey(int zone, int32_t key);
    float GetZoneLoopStart(int zone) const;
    void SetZoneLoopStart(int zone, float value);
    float GetZoneLoopEnd(int zone) const;
    void SetZoneLoopEnd(int zone, float value);
    void SetLoopEnable(uint32_t value);
    void SetLoopCrossfade(float value);
    float GetValueA() const;
    void SetValueA(float value);
    // The sinc pair acts whether loaded or not and marks nothing.
    float GetUseSinc() const { return static_cast<float>(sincFlag); }
    void SetUseSinc(float value) { sincFlag = value > 0.0f ? 1 : 0; }

    const CSample* Zone(int zone) const;
    const char* GetDirectory() const { return directory; }
    const VoiceLayer& Voice(int voice, int layer) const { return voices[voice][layer]; }

    uint8_t loaded = 0;
    uint8_t dirty = 0;
    char path[kPathSize] = {};
    char directory[kPathSize] = {};
    char name[kNameSize] = {};
    float valueA = 0.0f;
    float loopCrossfade = 0.0f;
    uint32_t loopEnable = 0;
    uint32_t sincFlag = 0;

private:
    struct Location {
        char path[kPathSize] = {};
        char directory[kPathSize] = {};
        char name[kNameSize] = {};
    };
    using ZoneSet = std::unique_ptr<CSample>[kZones];

    static bool ResolvePath(const char* path, Location& out);
    bool OpenResolved(const Location& where, std::span<const unsigned char> file);
    CSample* EditZone(int zone);
    template <typename T>
    T ZoneValue(int zone, T CSample::*field) const
    {
        const CSample* s = Zone(zone);
        return s ? s->*field : T{};
    }
    template <typename T>
    void SetZoneValue(int zone, T CSample::*field, T value)
    {
        if (CSample* s = EditZone(zone)) {
            s->*field = value;
            dirty = 1;
        }
    }
    void BeginChange();
    void EndChange();
    // Installs zones and location between the guard calls; the zones that
    // were there are handed back in zones for freeing outside the guard.
    void SwapIn(ZoneSet& zones, const Location& where);
    float ReadLayer(VoiceLayer& l, int direction);
    static void MoveLayer(VoiceLayer& l, int direction, int64_t steps, bool looping);

    std::unique_ptr<CSample> zones[kZones];
    VoiceLayer voices[kVoices][kLayers];
    float pitchScale[kVoices] = {};
    FreeGuard freeGuard = nullptr;
    void* freeGuardContext = nullptr;
};
