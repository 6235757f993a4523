// The shell's pictures, drawn rather than loaded: the application icon, the tool bar's
// buttons (16 x 15) and the search bar's button faces.
#pragma once

#include <QIcon>
#include <QPixmap>

QIcon AppIcon();                // icon 128: a yellow disc holding five red discs with green centres
QPixmap AppIconPixmap(int size);
QPixmap OpenFolderBitmap();     // tool bar: an opening folder
QPixmap HomeBitmap();           // tool bar: a house
QIcon ZoomLinkIcon();           // icon 131: two linked red rings
QIcon BarStyleIcon();           // icon 132: stacked coloured bars
QIcon TreeStyleIcon();          // icon 133: a branching tree in lines
QIcon PrevIcon();               // icon 135: left-pointing triangle
QIcon NextIcon();               // icon 136: right-pointing triangle
