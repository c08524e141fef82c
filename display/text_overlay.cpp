// The text lines of a frame: one line drawn onto the back buffer through GDI, in a font made for it alone.
#include "display/display.h"

#include <cstring>

// Called by the input-test scene's read-out lines while they draw the frame, before the flip.
void DrawOverlayText(int x, int y, const char* text, COLORREF colour, int height, const char* face, BYTE italic) {
    LOGFONTA description = {};
    description.lfHeight = height;
    description.lfWidth = 0;
    description.lfEscapement = 0;
    description.lfWeight = FW_NORMAL;
    description.lfItalic = italic;
    description.lfUnderline = 0;
    description.lfCharSet = SHIFTJIS_CHARSET;
    for (int i = 0; i < LF_FACESIZE - 1 && face[i] != '\0'; ++i) {
        description.lfFaceName[i] = face[i];
    }

    HFONT font = CreateFontIndirectA(&description);
    HDC dc = nullptr;
    if (app.backBuffer->GetDC(&dc) == DD_OK) {
        HGDIOBJ previousFont = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colour);
        TextOutA(dc, x, y, text, int(std::strlen(text)));
        SelectObject(dc, previousFont);
        app.backBuffer->ReleaseDC(dc);
    }
    DeleteObject(font);
}
