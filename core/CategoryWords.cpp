#include "core/CategoryWords.h"

namespace {

const char* const kHeadings[categories::kGroups] = {"Category", "Source", "Timbre", "Expression", "Style"};

// Unlisted words stay null and read as "".
const char* const kWordLists[categories::kGroups][categories::kWords] = {
    {"Ambient", "Bass", "Brass", "Drums", "Flute", "Keys", "Mallet", "Organ", "Percussion", "Reed",
     "Soundeffect", "String", "Synth", "Vocal", "Other", nullptr, nullptr, "Favourites"},
    {"Acoustic", "Electric", "Analog", "Digital", "Synthetic", "Sampled", "FM", "Additive", "Spectral",
     "Waveshape", "Physical model", "Solo", "Ensemble", "Dry", "Processed", "Layered", "Sequence"},
    {"Bright", "Dark", "Warm", "Cold", "Fat", "Thin", "Hard", "Soft", "Distorted", "Clean", "Harmonic",
     "Dissonant", "Noise", "Metallic", "Wooden"},
    {"Natural", "Synthetic", "Slow attack", "Plucked", "Sustained", "Long release", "Struck", "Motion", "Pad",
     "Solo", "Ensemble", "Sweep", "Arpeggio", "Expressive", "Random"},
    {"Avantgarde", "Classical", "Film Music", "Electronica", "DnB", "House", "Techno", "Industrial", "Dance",
     "HipHop", "Rock", "Pop", "Jazz", "World Music"},
};

}  // namespace

const char* GetCategoryGroupName(int group)
{
    return group >= 0 && group < categories::kGroups ? kHeadings[group] : "";
}

const char* GetCategoryWord(int group, int word)
{
    if (group < 0 || group >= categories::kGroups || word < 0 || word >= categories::kWords) return "";
    const char* w = kWordLists[group][word];
    return w ? w : "";
}
