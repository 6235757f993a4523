// The search bar's name browser: slider ranges and positions over the three lists.
#include <gtest/gtest.h>

#include <string>

#include "CladoramaDoc.h"
#include "NameBrowser.h"
#include "TestSupport.h"

TEST(NameBrowser, SliderStepsAHundredLatinNamesAndTheButtonsOne) {
    // 1,250 names: positions 0 to 12; position 7 is name 700.
    EXPECT_EQ(browseSliderMaximum(0, 1250), 12);
    int pos = browsePositionFromSlider(0, 7);
    EXPECT_EQ(pos, 700);
    EXPECT_EQ(browseSliderPosition(0, browseNext(pos, 1250)), 7);  // 701, slider stays
    EXPECT_EQ(browseNext(pos, 1250), 701);
    EXPECT_EQ(browsePrevious(pos), 699);
    EXPECT_EQ(browseSliderPosition(0, 699), 6);
    // 1,200 names: the last position shows name 1,100; next walks on to 1,199 and stops.
    EXPECT_EQ(browseSliderMaximum(0, 1200), 11);
    pos = browsePositionFromSlider(0, 11);
    EXPECT_EQ(pos, 1100);
    for (int i = 0; i < 150; ++i) pos = browseNext(pos, 1200);
    EXPECT_EQ(pos, 1199);
    EXPECT_EQ(browsePrevious(0), 0);
    // Common names one by one; both names (mode 2, and any other selection) by hundreds.
    EXPECT_EQ(browseSliderMaximum(1, 1250), 1249);
    EXPECT_EQ(browsePositionFromSlider(1, 7), 7);
    EXPECT_EQ(browseSliderPosition(1, 701), 701);
    EXPECT_EQ(browseSliderMaximum(-1, 1250), 12);
    EXPECT_EQ(browsePositionFromSlider(5, 3), 300);
    // Empty lists have no position to read.
    EXPECT_EQ(browseSliderMaximum(0, 0), 0);
    EXPECT_EQ(browseSliderMaximum(1, 0), 0);
}

TEST(NameBrowser, NamesComeFromTheModesList) {
    CCladoramaDoc doc;
    nameRoot(doc.m_tree1, "Mammalia");
    TreeNode* felis = addNode(&doc.m_tree1, "Felis", "Genus", "cats");
    doc.m_tree1.latinIndex = {&doc.m_tree1, felis};
    doc.m_combinedByCommon = {felis};
    char lion[] = "lion";
    doc.m_searchNames = {{lion, felis}};
    EXPECT_EQ(browseListSize(doc, 0), 2);
    EXPECT_STREQ(browseName(doc, 0, 1), "Felis");
    EXPECT_STREQ(browseName(doc, 1, 0), "cats");
    EXPECT_STREQ(browseName(doc, 2, 0), "lion");
    EXPECT_EQ(browseName(doc, 0, 2), nullptr);
    EXPECT_EQ(browseName(doc, 1, -1), nullptr);
}
