// The search bar's name browser: the list each search mode walks, the slider's range over
// it and the positions between slider and list. Modes 0 and 2 step the slider by 100 names
// (their lists are long), mode 1 by one.
#pragma once

class CCladoramaDoc;

// The mode of a selection of the mode list: 0 Latin names, 1 common names, anything else
// (no selection too) both.
inline int browseMode(int selection) { return selection == 0 || selection == 1 ? selection : 2; }

// Size of the mode's list: tree 1's Latin index, the merged common-name list, or the
// searchable names.
int browseListSize(const CCladoramaDoc& doc, int mode);
// The name at `index` of the mode's list; null outside it.
const char* browseName(const CCladoramaDoc& doc, int mode, int index);

// Largest slider position for a list of `size` names (0 for an empty list).
int browseSliderMaximum(int mode, int size);
// Slider position of a browse position, and back.
int browseSliderPosition(int mode, int browsePos);
int browsePositionFromSlider(int mode, int position);
// One name back (not below the first) or on (not past the last of `size`).
int browsePrevious(int browsePos);
int browseNext(int browsePos, int size);
