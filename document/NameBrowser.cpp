#include "NameBrowser.h"

#include <algorithm>

#include "CladoramaDoc.h"

int browseListSize(const CCladoramaDoc& doc, int mode) {
    switch (browseMode(mode)) {
        case 0: return static_cast<int>(doc.m_tree1.latinIndex.size());
        case 1: return static_cast<int>(doc.m_combinedByCommon.size());
        default: return static_cast<int>(doc.m_searchNames.size());
    }
}

const char* browseName(const CCladoramaDoc& doc, int mode, int index) {
    if (index < 0 || index >= browseListSize(doc, mode)) return nullptr;
    switch (browseMode(mode)) {
        case 0: return doc.m_tree1.latinIndex[index]->latinName;
        case 1: return doc.m_combinedByCommon[index]->commonName;
        default: return doc.m_searchNames[index].name;
    }
}

int browseSliderMaximum(int mode, int size) {
    if (size <= 0) return 0;
    return browseMode(mode) == 1 ? size - 1 : (size - 1) / 100;
}

int browseSliderPosition(int mode, int browsePos) {
    return browseMode(mode) == 1 ? browsePos : browsePos / 100;
}

int browsePositionFromSlider(int mode, int position) {
    return browseMode(mode) == 1 ? position : position * 100;
}

int browsePrevious(int browsePos) { return std::max(browsePos - 1, 0); }

int browseNext(int browsePos, int size) { return browsePos + 1 >= size ? size - 1 : browsePos + 1; }
