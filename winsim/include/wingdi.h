// The GDI subset winsim provides: printer device contexts, fonts, pens,
// paths and text, as the internal watermark job uses them.
#ifndef WINSIM_WINGDI_H
#define WINSIM_WINGDI_H

typedef void* HGDIOBJ;
typedef struct HFONT__* HFONT;
typedef struct HPEN__* HPEN;

#define LF_FACESIZE 32

typedef struct tagLOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW, *LPLOGFONTW;

typedef struct tagTEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
} TEXTMETRICW, *PTEXTMETRICW, *LPTEXTMETRICW;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct _DOCINFOW {
  int cbSize;
  LPCWSTR lpszDocName;
  LPCWSTR lpszOutput;
  LPCWSTR lpszDatatype;
  DWORD fwType;
} DOCINFOW, *LPDOCINFOW;

typedef struct tagFONTSIGNATURE {
  DWORD fsUsb[4];
  DWORD fsCsb[2];
} FONTSIGNATURE;

typedef struct tagCHARSETINFO {
  UINT ciCharset;
  UINT ciACP;
  FONTSIGNATURE fs;
} CHARSETINFO, *LPCHARSETINFO;

#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) (LOBYTE(c))
#define GetGValue(c) (LOBYTE(((WORD)(c)) >> 8))
#define GetBValue(c) (LOBYTE((c) >> 16))

#define HORZRES 8
#define VERTRES 10
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define PHYSICALOFFSETX 112
#define PHYSICALOFFSETY 113

#define TRANSPARENT 1
#define OPAQUE 2
#define TA_NOUPDATECP 0
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24
#define PS_SOLID 0
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define SHIFTJIS_CHARSET 128
#define HANGUL_CHARSET 129
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define GREEK_CHARSET 161
#define TURKISH_CHARSET 162
#define VIETNAMESE_CHARSET 163
#define HEBREW_CHARSET 177
#define ARABIC_CHARSET 178
#define BALTIC_CHARSET 186
#define RUSSIAN_CHARSET 204
#define THAI_CHARSET 222
#define EASTEUROPE_CHARSET 238
#define OEM_CHARSET 255
#define FIXED_PITCH 1
#define FW_NORMAL 400
#define FW_BOLD 700
#define TCI_SRCCHARSET 1
#define TCI_SRCCODEPAGE 2
#define GDI_ERROR (0xFFFFFFFFL)
#define CLR_INVALID 0xFFFFFFFF
#define SP_ERROR (-1)
#define HGDI_ERROR ((HGDIOBJ)(LONG_PTR)-1)

#define PT_CLOSEFIGURE 0x01
#define PT_LINETO 0x02
#define PT_BEZIERTO 0x04
#define PT_MOVETO 0x06

WINGDIAPI HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort, const DEVMODEW* pdm);
WINGDIAPI BOOL WINAPI DeleteDC(HDC hdc);
WINGDIAPI int WINAPI GetDeviceCaps(HDC hdc, int index);
WINGDIAPI HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf);
WINGDIAPI HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color);
WINGDIAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
WINGDIAPI BOOL WINAPI DeleteObject(HGDIOBJ ho);
WINGDIAPI COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
WINGDIAPI int WINAPI SetBkMode(HDC hdc, int mode);
WINGDIAPI UINT WINAPI SetTextAlign(HDC hdc, UINT align);
WINGDIAPI BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm);
WINGDIAPI BOOL WINAPI BeginPath(HDC hdc);
WINGDIAPI BOOL WINAPI EndPath(HDC hdc);
WINGDIAPI int WINAPI GetPath(HDC hdc, LPPOINT apt, LPBYTE aj, int cpt);
WINGDIAPI BOOL WINAPI StrokePath(HDC hdc);
WINGDIAPI BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c);
WINGDIAPI int WINAPI StartDocW(HDC hdc, const DOCINFOW* lpdi);
WINGDIAPI int WINAPI StartPage(HDC hdc);
WINGDIAPI int WINAPI EndPage(HDC hdc);
WINGDIAPI int WINAPI EndDoc(HDC hdc);
WINGDIAPI BOOL WINAPI TranslateCharsetInfo(DWORD* lpSrc, LPCHARSETINFO lpCs, DWORD dwFlags);

#endif
