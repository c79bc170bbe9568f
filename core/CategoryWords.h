#pragma once
// The five word lists presets are tagged with ("Category", "Source",
// "Timbre", "Expression", "Style"). Word i of a group is bit i of that
// group's category mask.
namespace categories {

constexpr int kGroups = 5;
constexpr int kWords = 32;

}  // namespace categories

// The heading of group g (0..4); "" for any other group.
const char* GetCategoryGroupName(int group);
// Word i (0..31) of group g (0..4); "" for a word not listed or outside.
const char* GetCategoryWord(int group, int word);
