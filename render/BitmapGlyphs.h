// GLUT's bitmap glyphs where GLUT itself cannot run. glutBitmapCharacter ends the process
// unless glutInit has opened an X display, yet a figure made without a display (on a
// server, by a script) must show the same glyphs as the window. freeglut keeps each
// font's glyphs in a table that it exports; this draws from those tables with the same
// glBitmap calls glutBitmapCharacter makes, so the pixels are the same.
#pragma once

// Whether freeglut's glyph tables were found and look as expected.
bool GlutGlyphTablesUsable();

// Draws `text` from the current raster position in font fontIndex of kBitmapFonts, as
// glutBitmapCharacter would byte by byte. Draws nothing when the tables are not usable.
void DrawGlyphsWithoutGlut(const char* text, int fontIndex);
