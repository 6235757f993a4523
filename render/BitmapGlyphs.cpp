#include "BitmapGlyphs.h"

#include <GL/gl.h>

#include <cstring>

#include "Render.h"

namespace {

// The layout of freeglut's font record (fg_internal.h), unchanged since freeglut 2.0.
struct FreeglutFont {
    char* name;
    int quantity;
    int height;
    const GLubyte** characters;
    float xorig, yorig;
};

}  // namespace

// freeglut's own lookup from a font handle to its record; exported by libglut.
extern "C" FreeglutFont* fghFontByID(void* font);

namespace {

const FreeglutFont* fontOf(int fontIndex) {
    if (fontIndex < 0 || fontIndex >= kBitmapFontCount) return nullptr;
    const FreeglutFont* f = fghFontByID(kBitmapFonts[fontIndex]);
    // The records name the X fonts they were made from; anything else is not a record of
    // the layout above.
    if (!f || !f->name || std::strncmp(f->name, "-", 1) != 0 || f->quantity != 256 ||
        f->height < 1 || f->height > 64 || !f->characters)
        return nullptr;
    return f;
}

}  // namespace

bool GlutGlyphTablesUsable() {
    for (int i = 0; i < kBitmapFontCount; ++i)
        if (!fontOf(i)) return false;
    return true;
}

void DrawGlyphsWithoutGlut(const char* text, int fontIndex) {
    const FreeglutFont* font = fontOf(fontIndex);
    if (!font || !text) return;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const GLubyte* face = font->characters[*p];
        if (!face) continue;
        glBitmap(face[0], font->height, font->xorig, font->yorig, static_cast<float>(face[0]),
                 0.0f, face + 1);
    }
    glPopClientAttrib();
}
