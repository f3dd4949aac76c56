/*
 * Records small EMF+ pages with GDI+ itself, one drawing case a page, so the EMF+
 * player can be set against what GDI+ draws of the same records.
 *
 *   record-pages.exe OUTDIR            the pages
 *   record-pages.exe --twins OUTDIR    their twins
 *
 * Each page is OUTDIR\<name>.emf: a 240 x 160 pixel frame recorded on the screen DC,
 * EMF+ only unless the table below says dual. A twin is the same drawing made with calls
 * whose records Wine's GDI+ both writes and plays correctly, for the pages whose own
 * records it does not (README.md lists why); the reference image of such a page is drawn
 * from its twin. Twins are also made here for some pages that write-pages writes, where
 * only GDI+ itself can say how the curve runs.
 * One line goes to standard error for each GDI+ call that fails, and the exit status is
 * then 1: a page whose call failed does not show its case.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <math.h>

/* The GDI+ flat functions used here, declared for C (MinGW's headers may lack some). */
typedef float REAL;
typedef DWORD ARGB;
typedef int GpStatus;
typedef void GpGraphics, GpImage, GpBrush, GpPen, GpPath, GpRegion, GpMatrix;
typedef UINT GraphicsState, GraphicsContainer;
typedef struct { REAL X, Y; } GpPointF;
typedef struct { INT X, Y; } GpPoint;
typedef struct { REAL X, Y, Width, Height; } GpRectF;
typedef struct { INT X, Y, Width, Height; } GpRect;
typedef struct {
    UINT32 GdiplusVersion;
    void *DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
} GdiplusStartupInput;

enum { UnitWorld, UnitDisplay, UnitPixel, UnitPoint, UnitInch, UnitDocument, UnitMillimeter };
enum { EmfTypeEmfPlusOnly = 4, EmfTypeEmfPlusDual = 5 };
enum { MetafileFrameUnitPixel = 2 };
enum { FillModeAlternate, FillModeWinding };
enum { LineJoinMiter, LineJoinBevel, LineJoinRound, LineJoinMiterClipped };
enum { LineCapFlat, LineCapSquare, LineCapRound, LineCapTriangle };
enum { DashStyleSolid, DashStyleDash, DashStyleDot, DashStyleDashDot, DashStyleDashDotDot };
enum { DashCapFlat = 0, DashCapRound = 2, DashCapTriangle = 3 };
enum { PenAlignmentCenter, PenAlignmentInset };
enum { SmoothingModeNone = 3, SmoothingModeAntiAlias = 4 };
enum { PixelOffsetModeNone = 3, PixelOffsetModeHalf = 4 };
enum { MatrixOrderPrepend, MatrixOrderAppend };
enum { CombineModeReplace, CombineModeIntersect, CombineModeUnion, CombineModeXor,
       CombineModeExclude, CombineModeComplement };

#define API WINAPI
GpStatus API GdiplusStartup(ULONG_PTR *, const GdiplusStartupInput *, void *);
void API GdiplusShutdown(ULONG_PTR);
GpStatus API GdipRecordMetafileFileName(const WCHAR *, HDC, int, const GpRectF *, int,
                                        const WCHAR *, GpImage **);
GpStatus API GdipGetImageGraphicsContext(GpImage *, GpGraphics **);
GpStatus API GdipDeleteGraphics(GpGraphics *);
GpStatus API GdipDisposeImage(GpImage *);
GpStatus API GdipCreateSolidFill(ARGB, GpBrush **);
GpStatus API GdipDeleteBrush(GpBrush *);
GpStatus API GdipCreatePen1(ARGB, REAL, int, GpPen **);
GpStatus API GdipDeletePen(GpPen *);
GpStatus API GdipSetPenLineJoin(GpPen *, int);
GpStatus API GdipSetPenMiterLimit(GpPen *, REAL);
GpStatus API GdipSetPenStartCap(GpPen *, int);
GpStatus API GdipSetPenEndCap(GpPen *, int);
GpStatus API GdipSetPenDashStyle(GpPen *, int);
GpStatus API GdipSetPenDashArray(GpPen *, const REAL *, INT);
GpStatus API GdipSetPenDashOffset(GpPen *, REAL);
GpStatus API GdipSetPenDashCap197819(GpPen *, int);
GpStatus API GdipSetPenMode(GpPen *, int);
GpStatus API GdipScalePenTransform(GpPen *, REAL, REAL, int);
GpStatus API GdipCreatePath(int, GpPath **);
GpStatus API GdipDeletePath(GpPath *);
GpStatus API GdipStartPathFigure(GpPath *);
GpStatus API GdipClosePathFigure(GpPath *);
GpStatus API GdipAddPathLine2(GpPath *, const GpPointF *, INT);
GpStatus API GdipAddPathBezier(GpPath *, REAL, REAL, REAL, REAL, REAL, REAL, REAL, REAL);
GpStatus API GdipAddPathArc(GpPath *, REAL, REAL, REAL, REAL, REAL, REAL);
GpStatus API GdipAddPathRectangle(GpPath *, REAL, REAL, REAL, REAL);
GpStatus API GdipAddPathEllipse(GpPath *, REAL, REAL, REAL, REAL);
GpStatus API GdipAddPathPolygon(GpPath *, const GpPointF *, INT);
GpStatus API GdipCreateRegionRect(const GpRectF *, GpRegion **);
GpStatus API GdipCombineRegionRect(GpRegion *, const GpRectF *, int);
GpStatus API GdipCombineRegionPath(GpRegion *, GpPath *, int);
GpStatus API GdipDeleteRegion(GpRegion *);
GpStatus API GdipCreateMatrix2(REAL, REAL, REAL, REAL, REAL, REAL, GpMatrix **);
GpStatus API GdipDeleteMatrix(GpMatrix *);
GpStatus API GdipGraphicsClear(GpGraphics *, ARGB);
GpStatus API GdipFillRectangle(GpGraphics *, GpBrush *, REAL, REAL, REAL, REAL);
GpStatus API GdipFillRectangles(GpGraphics *, GpBrush *, const GpRectF *, INT);
GpStatus API GdipFillRectanglesI(GpGraphics *, GpBrush *, const GpRect *, INT);
GpStatus API GdipDrawRectangle(GpGraphics *, GpPen *, REAL, REAL, REAL, REAL);
GpStatus API GdipDrawRectangles(GpGraphics *, GpPen *, const GpRectF *, INT);
GpStatus API GdipFillEllipse(GpGraphics *, GpBrush *, REAL, REAL, REAL, REAL);
GpStatus API GdipDrawEllipse(GpGraphics *, GpPen *, REAL, REAL, REAL, REAL);
GpStatus API GdipFillPie(GpGraphics *, GpBrush *, REAL, REAL, REAL, REAL, REAL, REAL);
GpStatus API GdipDrawPie(GpGraphics *, GpPen *, REAL, REAL, REAL, REAL, REAL, REAL);
GpStatus API GdipDrawArc(GpGraphics *, GpPen *, REAL, REAL, REAL, REAL, REAL, REAL);
GpStatus API GdipDrawLine(GpGraphics *, GpPen *, REAL, REAL, REAL, REAL);
GpStatus API GdipDrawLines(GpGraphics *, GpPen *, const GpPointF *, INT);
GpStatus API GdipDrawLinesI(GpGraphics *, GpPen *, const GpPoint *, INT);
GpStatus API GdipFillPolygon(GpGraphics *, GpBrush *, const GpPointF *, INT, int);
GpStatus API GdipDrawBeziers(GpGraphics *, GpPen *, const GpPointF *, INT);
GpStatus API GdipDrawCurve2(GpGraphics *, GpPen *, const GpPointF *, INT, REAL);
GpStatus API GdipDrawCurve3(GpGraphics *, GpPen *, const GpPointF *, INT, INT, INT, REAL);
GpStatus API GdipDrawClosedCurve2(GpGraphics *, GpPen *, const GpPointF *, INT, REAL);
GpStatus API GdipFillClosedCurve2(GpGraphics *, GpBrush *, const GpPointF *, INT, REAL, int);
GpStatus API GdipFillPath(GpGraphics *, GpBrush *, GpPath *);
GpStatus API GdipDrawPath(GpGraphics *, GpPen *, GpPath *);
GpStatus API GdipFillRegion(GpGraphics *, GpBrush *, GpRegion *);
GpStatus API GdipSetSmoothingMode(GpGraphics *, int);
GpStatus API GdipSetPixelOffsetMode(GpGraphics *, int);
GpStatus API GdipSetWorldTransform(GpGraphics *, GpMatrix *);
GpStatus API GdipResetWorldTransform(GpGraphics *);
GpStatus API GdipMultiplyWorldTransform(GpGraphics *, const GpMatrix *, int);
GpStatus API GdipTranslateWorldTransform(GpGraphics *, REAL, REAL, int);
GpStatus API GdipScaleWorldTransform(GpGraphics *, REAL, REAL, int);
GpStatus API GdipRotateWorldTransform(GpGraphics *, REAL, int);
GpStatus API GdipSetPageUnit(GpGraphics *, int);
GpStatus API GdipSetPageScale(GpGraphics *, REAL);
GpStatus API GdipSaveGraphics(GpGraphics *, GraphicsState *);
GpStatus API GdipRestoreGraphics(GpGraphics *, GraphicsState);
GpStatus API GdipBeginContainer(GpGraphics *, const GpRectF *, const GpRectF *, int,
                                GraphicsContainer *);
GpStatus API GdipBeginContainer2(GpGraphics *, GraphicsContainer *);
GpStatus API GdipEndContainer(GpGraphics *, GraphicsContainer);
GpStatus API GdipSetClipRect(GpGraphics *, REAL, REAL, REAL, REAL, int);
GpStatus API GdipSetClipPath(GpGraphics *, GpPath *, int);
GpStatus API GdipSetClipRegion(GpGraphics *, GpRegion *, int);
GpStatus API GdipResetClip(GpGraphics *);
GpStatus API GdipTranslateClip(GpGraphics *, REAL, REAL);
GpStatus API GdipGetDC(GpGraphics *, HDC *);
typedef void GpFontFamily, GpFont, GpStringFormat;
GpStatus API GdipCreatePen2(GpBrush *, REAL, int, GpPen **);
GpStatus API GdipCreateHatchBrush(int, ARGB, ARGB, GpBrush **);
GpStatus API GdipCreateLineBrush(const GpPointF *, const GpPointF *, ARGB, ARGB, int, GpBrush **);
GpStatus API GdipCreateLineBrushFromRectWithAngle(const GpRectF *, ARGB, ARGB, REAL, BOOL, int,
                                                  GpBrush **);
GpStatus API GdipSetLineBlend(GpBrush *, const REAL *, const REAL *, INT);
GpStatus API GdipSetLinePresetBlend(GpBrush *, const ARGB *, const REAL *, INT);
GpStatus API GdipCreateFontFamilyFromName(const WCHAR *, void *, GpFontFamily **);
GpStatus API GdipDeleteFontFamily(GpFontFamily *);
GpStatus API GdipCreateFont(const GpFontFamily *, REAL, INT, int, GpFont **);
GpStatus API GdipDeleteFont(GpFont *);
GpStatus API GdipCreateStringFormat(INT, LANGID, GpStringFormat **);
GpStatus API GdipDeleteStringFormat(GpStringFormat *);
GpStatus API GdipSetStringFormatAlign(GpStringFormat *, int);
GpStatus API GdipSetStringFormatLineAlign(GpStringFormat *, int);
GpStatus API GdipDrawString(GpGraphics *, const WCHAR *, INT, const GpFont *, const GpRectF *,
                            const GpStringFormat *, const GpBrush *);
GpStatus API GdipReleaseDC(GpGraphics *, HDC);

static const char *page_name;
static int failures;

/* A failed call leaves its page without the case it was made for: say which. */
static void check(GpStatus status, const char *call)
{
    if (status != 0) {
        fprintf(stderr, "%s: %s failed (status %d)\n", page_name, call, status);
        failures++;
    }
}
#define C(call) check(call, #call)

/* Brushes, pens, paths, regions and matrices made for a page, freed when it ends. */
enum { KIND_BRUSH, KIND_PEN, KIND_PATH, KIND_REGION, KIND_MATRIX, KIND_FAMILY, KIND_FONT,
       KIND_FORMAT };
static struct { int kind; void *object; } made[64];
static int made_count;

static void *keep(int kind, void *object)
{
    if (made_count == (int)(sizeof made / sizeof made[0])) {
        fprintf(stderr, "%s: too many objects\n", page_name);
        ExitProcess(2);
    }
    made[made_count].kind = kind;
    made[made_count++].object = object;
    return object;
}

static void free_made(void)
{
    while (made_count > 0) {
        void *o = made[--made_count].object;
        switch (made[made_count].kind) {
        case KIND_BRUSH: GdipDeleteBrush(o); break;
        case KIND_PEN: GdipDeletePen(o); break;
        case KIND_PATH: GdipDeletePath(o); break;
        case KIND_REGION: GdipDeleteRegion(o); break;
        case KIND_MATRIX: GdipDeleteMatrix(o); break;
        case KIND_FAMILY: GdipDeleteFontFamily(o); break;
        case KIND_FONT: GdipDeleteFont(o); break;
        case KIND_FORMAT: GdipDeleteStringFormat(o); break;
        }
    }
}

static GpBrush *solid(ARGB colour)
{
    GpBrush *b = NULL;
    C(GdipCreateSolidFill(colour, &b));
    return keep(KIND_BRUSH, b);
}

static GpPen *pen(ARGB colour, REAL width)
{
    GpPen *p = NULL;
    C(GdipCreatePen1(colour, width, UnitWorld, &p));
    return keep(KIND_PEN, p);
}

static GpPath *path(int fill_mode)
{
    GpPath *p = NULL;
    C(GdipCreatePath(fill_mode, &p));
    return keep(KIND_PATH, p);
}

static GpMatrix *matrix(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy)
{
    GpMatrix *m = NULL;
    C(GdipCreateMatrix2(m11, m12, m21, m22, dx, dy, &m));
    return keep(KIND_MATRIX, m);
}

#define COUNT(a) ((int)(sizeof(a) / sizeof((a)[0])))

#define BLACK 0xFF000000u
#define RED 0xFFE02020u
#define GREEN 0xFF20A040u
#define BLUE 0xFF2050D0u
#define YELLOW 0xFFF0C020u
#define GREY 0xFFB0B0B0u
#define MAGENTA 0xFFC030C0u

/* Set while twins are recorded: the calls below then take the twin's way. */
static int twin;

/* Wine writes an ellipse of whole coordinates with 8 bytes too many and then skips it
   when playing; the twin draws the same ellipse as a path. */
static void fill_ellipse(GpGraphics *g, GpBrush *b, REAL x, REAL y, REAL w, REAL h)
{
    if (!twin) {
        C(GdipFillEllipse(g, b, x, y, w, h));
        return;
    }
    GpPath *p = path(FillModeAlternate);
    C(GdipAddPathEllipse(p, x, y, w, h));
    C(GdipFillPath(g, b, p));
}

static void draw_ellipse(GpGraphics *g, GpPen *pen_, REAL x, REAL y, REAL w, REAL h)
{
    if (!twin) {
        C(GdipDrawEllipse(g, pen_, x, y, w, h));
        return;
    }
    GpPath *p = path(FillModeAlternate);
    C(GdipAddPathEllipse(p, x, y, w, h));
    C(GdipDrawPath(g, pen_, p));
}

/* Wine plays no ResetClip record: the twin sets a clip far larger than the page. */
static void reset_clip(GpGraphics *g)
{
    if (twin)
        C(GdipSetClipRect(g, -100000, -100000, 200000, 200000, CombineModeReplace));
    else
        C(GdipResetClip(g));
}

/* ---- Shapes ---- */

static void fill_rects(GpGraphics *g)
{
    const GpRectF whole[] = {{10, 10, 60, 40}, {80, 10, 60, 40}, {150, 10, 80, 40}};
    const GpRectF fractional[] = {{10.5f, 60.25f, 100.5f, 30.75f}, {10, 100, 100, 50}};
    const GpRect ints[] = {{130, 60, 40, 40}, {180, 60, 50, 90}};
    C(GdipFillRectangles(g, solid(BLUE), whole, COUNT(whole)));
    C(GdipFillRectangles(g, solid(RED), fractional, COUNT(fractional)));
    C(GdipFillRectanglesI(g, solid(GREEN), ints, COUNT(ints)));
    C(GdipFillRectangle(g, solid(YELLOW), 130, 110, 40, 40));
}

static void fill_rects_alpha(GpGraphics *g)
{
    const GpRectF band = {10, 30, 220, 50};
    const GpRectF over[] = {{30, 10, 60, 140}, {150, 10, 60, 140}};
    const GpRectF low = {10, 100, 220, 40};
    C(GdipFillRectangles(g, solid(BLUE), &band, 1));
    C(GdipFillRectangles(g, solid(0x80E02020), over, COUNT(over)));
    C(GdipFillRectangles(g, solid(0x4020A040), &low, 1));
}

static void draw_rects(GpGraphics *g)
{
    const GpRectF thin[] = {{10, 10, 60, 40}, {80, 10, 60, 40}, {150, 10, 80, 40}};
    const GpRectF thick[] = {{20, 70, 90, 70}, {130.5f, 70.5f, 90, 70}};
    C(GdipDrawRectangles(g, pen(BLACK, 1), thin, COUNT(thin)));
    C(GdipDrawRectangles(g, pen(RED, 3), thick, COUNT(thick)));
    C(GdipDrawRectangle(g, pen(BLUE, 1), 40.5f, 90.5f, 40, 30));
}

static void ellipses(GpGraphics *g)
{
    fill_ellipse(g, solid(BLUE), 10, 10, 100, 60);
    draw_ellipse(g, pen(RED, 3), 130, 10, 100, 60);
    fill_ellipse(g, solid(0x80F0C020), 60.5f, 80.5f, 70, 70);
    draw_ellipse(g, pen(BLACK, 1), 60.5f, 80.5f, 70, 70);
    fill_ellipse(g, solid(GREEN), 160, 90, 60, 30.5f);
}

static void pie_outlines(GpGraphics *g)
{
    C(GdipDrawPie(g, pen(BLUE, 2), 10, 10, 100, 100, 0, 90));
    C(GdipDrawPie(g, pen(GREEN, 3), 10, 10, 100, 100, 180, -60));
    C(GdipDrawPie(g, pen(RED, 2), 130, 10, 100, 100, -45, 270));
    C(GdipDrawPie(g, pen(BLACK, 1), 20, 120, 200, 30, 200, 140));
}

/* Wine writes FillPie and DrawArc as records of 8 bytes, their header cut short and
   their data missing, each in a comment of its own: the drawing around them stays. */
static void truncated_records(GpGraphics *g)
{
    C(GdipFillRectangle(g, solid(BLUE), 10, 10, 100, 60));
    C(GdipFillPie(g, solid(RED), 130, 10, 100, 100, 0, 90));
    C(GdipFillRectangle(g, solid(GREEN), 10, 90, 100, 60));
    C(GdipDrawArc(g, pen(RED, 3), 130, 60, 100, 90, 0, 180));
    C(GdipDrawRectangle(g, pen(BLACK, 2), 140, 120, 80, 30));
}

static void lines(GpGraphics *g)
{
    const GpPointF zigzag[] = {{10, 20}, {50, 60}, {90, 20}, {130, 60}, {170, 20}, {230, 60}};
    const GpPointF fractional[] = {{10.5f, 80.25f}, {230.75f, 95.5f}, {10.25f, 110.5f}};
    const GpPoint ints[] = {{10, 150}, {60, 120}, {110, 150}, {160, 120}, {230, 150}};
    C(GdipDrawLines(g, pen(BLACK, 2), zigzag, COUNT(zigzag)));
    C(GdipDrawLines(g, pen(RED, 1), fractional, COUNT(fractional)));
    C(GdipDrawLinesI(g, pen(BLUE, 3), ints, COUNT(ints)));
}

/* A five-pointed star drawn in one stroke: its middle is inside twice by crossings. */
static const GpPointF star[] = {{60, 10}, {90, 100}, {15, 45}, {105, 45}, {30, 100}};
/* Two squares run the same way, overlapping. */
static const GpPointF twice[] = {{130, 20}, {200, 20}, {200, 90}, {130, 90}, {130, 20},
                                 {160, 50}, {230, 50}, {230, 120}, {160, 120}, {160, 50}};

static void polygon(GpGraphics *g)
{
    C(GdipFillPolygon(g, solid(BLUE), star, COUNT(star), FillModeAlternate));
    C(GdipFillPolygon(g, solid(GREEN), twice, COUNT(twice), FillModeAlternate));
    const GpPointF triangle[] = {{20, 150}, {110, 110}, {110, 150}};
    C(GdipFillPolygon(g, solid(RED), triangle, COUNT(triangle), FillModeAlternate));
}

static void beziers(GpGraphics *g)
{
    const GpPointF two[] = {{10, 80}, {40, 10}, {80, 10}, {110, 80}, {140, 150}, {200, 150},
                            {230, 80}};
    const GpPointF one[] = {{20, 150}, {60, 100}, {180, 160}, {220, 110}};
    C(GdipDrawBeziers(g, pen(BLUE, 2), two, COUNT(two)));
    C(GdipDrawBeziers(g, pen(RED, 4), one, COUNT(one)));
}

static const GpPointF wave[] = {{15, 30}, {60, 5}, {105, 40}, {150, 10}, {225, 35}};

static void curve_tension(GpGraphics *g)
{
    const REAL tensions[] = {0, 0.5f, 1, 2};
    const ARGB colours[] = {BLACK, BLUE, RED, GREEN};
    for (int i = 0; i < COUNT(tensions); i++) {
        GpPointF p[COUNT(wave)];
        for (int j = 0; j < COUNT(wave); j++)
            p[j].X = wave[j].X, p[j].Y = wave[j].Y + 35 * i + 10;
        C(GdipDrawCurve2(g, pen(colours[i], 2), p, COUNT(p), tensions[i]));
    }
}

static const GpPointF blob[] = {{20, 20}, {100, 30}, {60, 70}, {110, 130}, {15, 120}};

static void closed_curve(GpGraphics *g)
{
    C(GdipDrawClosedCurve2(g, pen(BLUE, 2), blob, COUNT(blob), 0.5f));
    GpPointF p[COUNT(blob)];
    for (int j = 0; j < COUNT(blob); j++)
        p[j].X = blob[j].X + 115, p[j].Y = blob[j].Y;
    C(GdipDrawClosedCurve2(g, pen(RED, 3), p, COUNT(p), 1));
}

static void fill_closed_curve(GpGraphics *g)
{
    C(GdipFillClosedCurve2(g, solid(BLUE), star, COUNT(star), 0.5f, FillModeAlternate));
    GpPointF p[COUNT(blob)];
    for (int j = 0; j < COUNT(blob); j++)
        p[j].X = blob[j].X + 115, p[j].Y = blob[j].Y + 10;
    C(GdipFillClosedCurve2(g, solid(GREEN), p, COUNT(p), 1, FillModeAlternate));
}

/* Figures of every kind: closed lines, an open bezier run on into a line, a closed arc,
   a rectangle, an ellipse and open lines (closed for filling, open for drawing). */
static GpPath *figures(void)
{
    GpPath *p = path(FillModeAlternate);
    const GpPointF triangle[] = {{10, 10}, {70, 10}, {40, 60}};
    const GpPointF open[] = {{170, 90}, {230, 150}, {170, 150}};
    C(GdipAddPathLine2(p, triangle, COUNT(triangle)));
    C(GdipClosePathFigure(p));
    C(GdipAddPathBezier(p, 90, 60, 90, 0, 150, 0, 150, 60));
    const GpPointF tail[] = {{150, 60}, {120, 70}};
    C(GdipAddPathLine2(p, tail, COUNT(tail)));
    C(GdipStartPathFigure(p));
    C(GdipAddPathArc(p, 170, 10, 60, 60, 0, 270));
    C(GdipClosePathFigure(p));
    C(GdipAddPathRectangle(p, 10, 90, 60, 50));
    C(GdipAddPathEllipse(p, 90, 90, 60, 50));
    C(GdipAddPathLine2(p, open, COUNT(open)));
    return p;
}

static void path_fill(GpGraphics *g) { C(GdipFillPath(g, solid(BLUE), figures())); }
static void path_draw(GpGraphics *g) { C(GdipDrawPath(g, pen(RED, 3), figures())); }

static void path_fill_draw(GpGraphics *g)
{
    GpPath *p = figures();
    C(GdipFillPath(g, solid(0xFF80C0F0), p));
    C(GdipDrawPath(g, pen(BLACK, 2), p));
}

static void clear(GpGraphics *g)
{
    C(GdipFillRectangle(g, solid(BLUE), 10, 10, 100, 100));
    C(GdipGraphicsClear(g, 0xFFFFE0C0));
    C(GdipFillRectangle(g, solid(RED), 20, 20, 60, 60));
    C(GdipSetClipRect(g, 60, 40, 120, 80, CombineModeReplace));
    C(GdipGraphicsClear(g, 0xFF40C040));
    reset_clip(g);
    C(GdipDrawRectangle(g, pen(BLACK, 1), 40, 30, 160, 100));
}

static void fill_region(GpGraphics *g)
{
    const GpRectF box = {20, 20, 120, 100};
    const GpRectF hole = {50, 50, 40, 40};
    GpRegion *r = NULL;
    C(GdipCreateRegionRect(&box, &r));
    keep(KIND_REGION, r);
    GpPath *p = path(FillModeAlternate);
    C(GdipAddPathEllipse(p, 100, 40, 120, 100));
    C(GdipCombineRegionPath(r, p, CombineModeXor));
    C(GdipCombineRegionRect(r, &hole, CombineModeExclude));
    C(GdipFillRegion(g, solid(MAGENTA), r));
}

/* ---- Rendering modes: the same drawing each way ---- */

static void mode_drawing(GpGraphics *g)
{
    fill_ellipse(g, solid(BLUE), 10, 10, 90, 60);
    draw_ellipse(g, pen(BLACK, 1), 120, 10, 100, 60);
    C(GdipDrawLine(g, pen(RED, 1), 10, 90, 230, 110));
    C(GdipDrawLine(g, pen(GREEN, 3), 10, 150, 230, 120));
    const GpPointF triangle[] = {{140, 85}, {230, 90}, {180, 100}};
    C(GdipFillPolygon(g, solid(MAGENTA), triangle, COUNT(triangle), FillModeAlternate));
}

static void smoothing_none(GpGraphics *g)
{
    C(GdipSetSmoothingMode(g, SmoothingModeNone));
    mode_drawing(g);
}

static void smoothing_antialias(GpGraphics *g)
{
    C(GdipSetSmoothingMode(g, SmoothingModeAntiAlias));
    mode_drawing(g);
}

/* Rectangles on whole, half and quarter pixels and one-pixel lines on pixel edges and
   centres, aliased (upper half) and antialiased (lower half). */
static void offset_drawing(GpGraphics *g)
{
    for (int row = 0; row < 2; row++) {
        REAL y = 10 + 75 * row;
        C(GdipSetSmoothingMode(g, row ? SmoothingModeAntiAlias : SmoothingModeNone));
        C(GdipFillRectangle(g, solid(BLUE), 10, y, 40, 30));
        C(GdipFillRectangle(g, solid(BLUE), 60.5f, y + 0.5f, 40, 30));
        C(GdipFillRectangle(g, solid(BLUE), 110.25f, y + 0.75f, 40.5f, 30.5f));
        C(GdipDrawRectangle(g, pen(RED, 1), 160, y, 30, 30));
        C(GdipDrawRectangle(g, pen(RED, 1), 200.5f, y + 0.5f, 30, 30));
        C(GdipDrawLine(g, pen(BLACK, 1), 10, y + 45, 230, y + 45));
        C(GdipDrawLine(g, pen(BLACK, 1), 10, y + 55.5f, 230, y + 55.5f));
    }
}

static void pixel_offset_none(GpGraphics *g)
{
    C(GdipSetPixelOffsetMode(g, PixelOffsetModeNone));
    offset_drawing(g);
}

static void pixel_offset_half(GpGraphics *g)
{
    C(GdipSetPixelOffsetMode(g, PixelOffsetModeHalf));
    offset_drawing(g);
}

/* ---- Pens ---- */

static void pen_widths(GpGraphics *g)
{
    const REAL widths[] = {1, 3.5f, 10};
    for (int i = 0; i < COUNT(widths); i++) {
        GpPen *p = pen(i == 1 ? BLUE : BLACK, widths[i]);
        C(GdipDrawLine(g, p, 10, 15 + 20 * i, 120, 15 + 20 * i));
        C(GdipDrawLine(g, p, 140 + 30 * i, 10, 150 + 30 * i, 60));
        C(GdipDrawRectangle(g, p, 15 + 75 * i, 90, 55, 55));
    }
}

/* Sharp vees, 30 degrees across, each join; below, the same with miter limit 3, which
   their miters (3.9 widths) pass. */
static void pen_joins(GpGraphics *g)
{
    const int joins[] = {LineJoinMiter, LineJoinBevel, LineJoinRound, LineJoinMiterClipped};
    for (int row = 0; row < 2; row++) {
        for (int i = 0; i < COUNT(joins); i++) {
            GpPen *p = pen(row ? BLUE : BLACK, 8);
            C(GdipSetPenLineJoin(p, joins[i]));
            if (row)
                C(GdipSetPenMiterLimit(p, 3));
            REAL x = 30 + 60 * i, top = row ? 100 : 25;
            const GpPointF vee[] = {{x - 13, top + 48}, {x, top}, {x + 13, top + 48}};
            C(GdipDrawLines(g, p, vee, COUNT(vee)));
        }
    }
}

/* Each cap at both ends of a 12-wide line, a thin red line along its points; on the
   right the same slanted; the last row starts round and ends in a triangle. */
static void pen_caps(GpGraphics *g)
{
    const int caps[][2] = {{LineCapFlat, LineCapFlat}, {LineCapSquare, LineCapSquare},
                           {LineCapRound, LineCapRound}, {LineCapTriangle, LineCapTriangle},
                           {LineCapRound, LineCapTriangle}};
    GpPen *guide = pen(RED, 1);
    for (int i = 0; i < COUNT(caps); i++) {
        GpPen *p = pen(BLACK, 12);
        C(GdipSetPenStartCap(p, caps[i][0]));
        C(GdipSetPenEndCap(p, caps[i][1]));
        REAL y = 18 + 30 * i;
        C(GdipDrawLine(g, p, 30, y, 150, y));
        C(GdipDrawLine(g, guide, 30, y, 150, y));
        C(GdipDrawLine(g, p, 180 + 10 * i, y - 8, 200 + 10 * i, y + 8));
    }
}

static void pen_dashes(GpGraphics *g)
{
    const int styles[] = {DashStyleDash, DashStyleDot, DashStyleDashDot, DashStyleDashDotDot};
    for (int i = 0; i < COUNT(styles); i++) {
        GpPen *p = pen(BLACK, 3);
        C(GdipSetPenDashStyle(p, styles[i]));
        C(GdipDrawLine(g, p, 10, 15 + 16 * i, 230, 15 + 16 * i));
    }
    GpPen *p = pen(BLACK, 3);
    C(GdipSetPenDashStyle(p, DashStyleDash));
    C(GdipSetPenDashOffset(p, 2));
    C(GdipDrawLine(g, p, 10, 79, 230, 79));
    p = pen(BLUE, 2);
    C(GdipSetPenDashStyle(p, DashStyleDash));
    C(GdipDrawRectangle(g, p, 10, 95, 100, 55));
    p = pen(RED, 1);
    C(GdipSetPenDashStyle(p, DashStyleDot));
    draw_ellipse(g, p, 130, 95, 100, 55);
}

/* Lays PATTERN (in pen widths) along the polyline PTS, as a pen with that dash array
   draws it: each dash becomes a solid, flat-ended polyline of its own. */
static void dash_pieces(GpGraphics *g, GpPen *solid_pen, REAL width, const GpPointF *pts,
                        int n, const REAL *pattern, int count)
{
    GpPointF piece[16];
    int in_piece = 0, k = 0, on = 1;
    REAL left = pattern[0] * width;
    for (int i = 0; i + 1 < n; i++) {
        REAL x = pts[i].X, y = pts[i].Y;
        REAL dx = pts[i + 1].X - x, dy = pts[i + 1].Y - y;
        REAL length = sqrtf(dx * dx + dy * dy), done = 0;
        if (on && !in_piece) {
            piece[0].X = x, piece[0].Y = y;
            in_piece = 1;
        }
        while (length - done > left) {
            done += left;
            GpPointF at = {x + dx * done / length, y + dy * done / length};
            if (on) {
                piece[in_piece++] = at;
                C(GdipDrawLines(g, solid_pen, piece, in_piece));
                in_piece = 0;
            } else {
                piece[0] = at;
                in_piece = 1;
            }
            on = !on;
            k = (k + 1) % count;
            left = pattern[k] * width;
        }
        left -= length - done;
        if (on && in_piece < 15)
            piece[in_piece++] = pts[i + 1];
    }
    if (on && in_piece > 1)
        C(GdipDrawLines(g, solid_pen, piece, in_piece));
}

/* Dash arrays of a 3-wide, a 2-wide and a 1-wide pen, on lines and round a rectangle
   (from its top left corner, clockwise). Wine's GDI+ plays dash arrays as solid lines:
   the twin lays the dashes out one by one. */
static void pen_dash_array(GpGraphics *g)
{
    const REAL a[] = {5, 2, 1, 2}, b[] = {4, 1}, c[] = {8, 4};
    const GpPointF top[] = {{10, 20}, {230, 20}}, middle[] = {{10, 45}, {230, 45}};
    const GpPointF box[] = {{10, 70}, {230, 70}, {230, 140}, {10, 140}, {10, 70}};
    struct { REAL width; ARGB colour; const REAL *pattern; int count; const GpPointF *pts; int n; }
        rows[] = {{3, BLACK, a, COUNT(a), top, COUNT(top)},
                  {2, BLUE, b, COUNT(b), middle, COUNT(middle)},
                  {1, RED, c, COUNT(c), box, COUNT(box)}};
    for (int i = 0; i < COUNT(rows); i++) {
        GpPen *p = pen(rows[i].colour, rows[i].width);
        if (twin) {
            dash_pieces(g, p, rows[i].width, rows[i].pts, rows[i].n, rows[i].pattern,
                        rows[i].count);
            continue;
        }
        C(GdipSetPenDashArray(p, rows[i].pattern, rows[i].count));
        if (rows[i].n == 2)
            C(GdipDrawLine(g, p, rows[i].pts[0].X, rows[i].pts[0].Y, rows[i].pts[1].X,
                           rows[i].pts[1].Y));
        else
            C(GdipDrawRectangle(g, p, 10, 70, 220, 70));
    }
}

static void pen_dash_caps(GpGraphics *g)
{
    GpPen *p = pen(BLUE, 6);
    C(GdipSetPenDashStyle(p, DashStyleDash));
    C(GdipSetPenDashCap197819(p, DashCapRound));
    C(GdipDrawLine(g, p, 15, 25, 225, 25));
    p = pen(BLUE, 6);
    C(GdipSetPenDashStyle(p, DashStyleDashDot));
    C(GdipSetPenDashCap197819(p, DashCapTriangle));
    C(GdipDrawLine(g, p, 15, 60, 225, 60));
    p = pen(RED, 8);
    C(GdipSetPenDashStyle(p, DashStyleDot));
    C(GdipSetPenDashCap197819(p, DashCapRound));
    C(GdipDrawRectangle(g, p, 20, 90, 200, 50));
}

static void pen_transform(GpGraphics *g)
{
    GpPen *p = pen(BLUE, 4);
    C(GdipScalePenTransform(p, 1, 4, MatrixOrderPrepend));
    C(GdipDrawEllipse(g, p, 20.5f, 20.5f, 90, 120));
    p = pen(RED, 4);
    C(GdipScalePenTransform(p, 4, 1, MatrixOrderPrepend));
    C(GdipDrawRectangle(g, p, 140, 30, 70, 100));
}

/* A 10-wide pen centred (left) and inset (right) on a rectangle and an ellipse, their
   outlines drawn thin over them. Wine's GDI+ plays inset pens as centred ones: the twin
   draws a centred pen on the shapes shrunk by half the width. */
static void pen_inset(GpGraphics *g)
{
    GpPen *guide = pen(BLACK, 1);
    for (int i = 0; i < 2; i++) {
        GpPen *p = pen(i ? BLUE : GREEN, 10);
        REAL x = 20 + 110 * i, in = 0;
        if (i && twin)
            in = 5;
        else if (i)
            C(GdipSetPenMode(p, PenAlignmentInset));
        C(GdipDrawRectangle(g, p, x + in, 15 + in, 90 - 2 * in, 60 - 2 * in));
        draw_ellipse(g, p, x + in, 90 + in, 90 - 2 * in, 60 - 2 * in);
        C(GdipDrawRectangle(g, guide, x, 15, 90, 60));
        draw_ellipse(g, guide, x, 90, 90, 60);
    }
}

static void pen_width_zero(GpGraphics *g)
{
    GpPen *p = pen(BLACK, 0);
    C(GdipDrawLine(g, p, 10, 10, 230, 30));
    C(GdipDrawRectangle(g, p, 10, 40, 100, 40));
    draw_ellipse(g, p, 130, 40, 100, 40);
    C(GdipScaleWorldTransform(g, 4, 4, MatrixOrderPrepend));
    p = pen(RED, 0);
    C(GdipDrawRectangle(g, p, 2.5f, 22.5f, 25, 15));
    C(GdipDrawLine(g, p, 32.5f, 22.5f, 57.5f, 37.5f));
}

/* ---- Transforms ---- */

static void transform_set(GpGraphics *g)
{
    C(GdipSetWorldTransform(g, matrix(0.866f, 0.5f, -0.5f, 0.866f, 60, 10)));
    C(GdipFillRectangle(g, solid(BLUE), 0, 0, 80, 40));
    draw_ellipse(g, pen(BLACK, 2), 0, 50, 80, 40);
    C(GdipSetWorldTransform(g, matrix(1, 0, 0.5f, 1, 120, 90)));
    C(GdipFillRectangle(g, solid(RED), 0, 0, 60, 50));
}

static void transform_reset(GpGraphics *g)
{
    C(GdipSetWorldTransform(g, matrix(2, 0, 0, 1.5f, 100, 20)));
    C(GdipFillRectangle(g, solid(BLUE), 0, 0, 60, 60));
    C(GdipResetWorldTransform(g));
    C(GdipFillRectangle(g, solid(RED), 0, 0, 60, 60));
    C(GdipDrawRectangle(g, pen(BLACK, 1), 100, 20, 120, 90));
}

/* The same turn and move multiplied before (left) and after (right) a move to the grey
   rectangle's corner: after it, the turn is about the page's corner. */
static void transform_multiply(GpGraphics *g)
{
    for (int order = 0; order < 2; order++) {
        REAL x = 30 + 100 * order;
        C(GdipResetWorldTransform(g));
        C(GdipFillRectangle(g, solid(GREY), x, 40, 50, 25));
        C(GdipSetWorldTransform(g, matrix(1, 0, 0, 1, x, 40)));
        C(GdipMultiplyWorldTransform(g, matrix(0.866f, 0.5f, -0.5f, 0.866f, 20, 0), order));
        C(GdipFillRectangle(g, solid(order ? RED : BLUE), 0, 0, 50, 25));
        C(GdipDrawLine(g, pen(BLACK, 2), 0, 0, 70, 0));
    }
}

/* Each call on a transform that already scales by (2, 1) and moves, in both orders: left
   half prepended, right half appended. */
static void transform_ops(GpGraphics *g, int op)
{
    for (int order = 0; order < 2; order++) {
        REAL x = 20 + 120 * order;
        C(GdipSetWorldTransform(g, matrix(2, 0, 0, 1, x, 40)));
        C(GdipDrawRectangle(g, pen(GREY, 1), 0, 0, 30, 40));
        if (op == 0)
            C(GdipTranslateWorldTransform(g, 10, 30, order));
        else if (op == 1)
            C(GdipScaleWorldTransform(g, 0.5f, 2, order));
        else
            C(GdipRotateWorldTransform(g, 30, order));
        C(GdipFillRectangle(g, solid(order ? RED : BLUE), 0, 0, 30, 40));
    }
}
static void transform_translate(GpGraphics *g) { transform_ops(g, 0); }
static void transform_scale(GpGraphics *g) { transform_ops(g, 1); }
static void transform_rotate(GpGraphics *g) { transform_ops(g, 2); }

/* The same drawing in inches, given in each page unit: units is how many make an inch. */
static void unit_drawing(GpGraphics *g, int unit, REAL scale, REAL units)
{
    C(GdipSetPageUnit(g, unit));
    if (scale != 1)
        C(GdipSetPageScale(g, scale));
    REAL u = units / scale;
    C(GdipFillRectangle(g, solid(BLUE), 0.25f * u, 0.25f * u, 1 * u, 0.5f * u));
    draw_ellipse(g, pen(RED, 0.05f * u), 1.4f * u, 0.2f * u, 0.9f * u, 0.9f * u);
    C(GdipDrawLine(g, pen(BLACK, 0.02f * u), 0.1f * u, 1.5f * u, 2.4f * u, 1.5f * u));
}
static void page_unit_pixel(GpGraphics *g) { unit_drawing(g, UnitPixel, 1, 96); }
static void page_unit_point(GpGraphics *g) { unit_drawing(g, UnitPoint, 1, 72); }
static void page_unit_inch(GpGraphics *g) { unit_drawing(g, UnitInch, 1, 1); }
static void page_unit_millimeter(GpGraphics *g) { unit_drawing(g, UnitMillimeter, 1, 25.4f); }
static void page_unit_document(GpGraphics *g) { unit_drawing(g, UnitDocument, 1, 300); }
static void page_scale(GpGraphics *g) { unit_drawing(g, UnitMillimeter, 2, 25.4f); }

/* ---- Save, restore and containers ---- */

static void save_restore(GpGraphics *g)
{
    GraphicsState outer, inner;
    C(GdipSetClipRect(g, 10, 10, 220, 140, CombineModeReplace));
    C(GdipTranslateWorldTransform(g, 20, 20, MatrixOrderPrepend));
    C(GdipSaveGraphics(g, &outer));
    C(GdipRotateWorldTransform(g, 20, MatrixOrderPrepend));
    C(GdipSetClipRect(g, 0, 0, 100, 100, CombineModeIntersect));
    C(GdipFillRectangle(g, solid(RED), -50, -50, 300, 300));
    C(GdipSaveGraphics(g, &inner));
    C(GdipScaleWorldTransform(g, 3, 3, MatrixOrderPrepend));
    C(GdipRestoreGraphics(g, outer));
    /* Restoring the outer state drops the inner one too: back to the move alone. */
    C(GdipFillRectangle(g, solid(BLUE), 0, 0, 60, 40));
    C(GdipFillRectangle(g, solid(GREEN), 150, 80, 200, 200));
}

/* Containers mapping a source rectangle onto a destination (grey outline): one from the
   origin, one from inside. Wine's GDI+ leaves the source's corner unscaled when it moves
   it there: the twin draws the second from the origin. */
static void container_rects(GpGraphics *g)
{
    GraphicsContainer c;
    const GpRectF dst = {120, 10, 100, 60}, src = {0, 0, 200, 120};
    C(GdipDrawRectangle(g, pen(GREY, 1), dst.X, dst.Y, dst.Width, dst.Height));
    C(GdipBeginContainer(g, &dst, &src, UnitPixel, &c));
    fill_ellipse(g, solid(BLUE), 0, 0, 200, 120);
    C(GdipDrawRectangle(g, pen(RED, 4), 20, 20, 160, 80));
    C(GdipEndContainer(g, c));
    const GpRectF dst2 = {20, 90, 200, 60}, src2 = {48, 10, 96, 48};
    const GpRectF moved = {0, 0, 96, 48};
    C(GdipDrawRectangle(g, pen(GREY, 1), dst2.X, dst2.Y, dst2.Width, dst2.Height));
    C(GdipBeginContainer(g, &dst2, twin ? &moved : &src2, UnitPixel, &c));
    fill_ellipse(g, solid(GREEN), twin ? 0 : 48, twin ? 0 : 10, 96, 48);
    C(GdipEndContainer(g, c));
    C(GdipFillRectangle(g, solid(BLACK), 10, 10, 20, 20));
}

/* A container's clip is its own, inside the clip around it. Wine's GDI+ lets a clip
   set inside replace the one around it: the twin intersects instead, and resets the
   clip by setting one larger than the page. */
static void container_noparams(GpGraphics *g)
{
    GraphicsContainer c;
    C(GdipTranslateWorldTransform(g, 20, 20, MatrixOrderPrepend));
    C(GdipSetClipRect(g, 0, 0, 180, 120, CombineModeReplace));
    C(GdipBeginContainer2(g, &c));
    C(GdipRotateWorldTransform(g, 15, MatrixOrderPrepend));
    C(GdipSetClipRect(g, 40, 0, 200, 60, twin ? CombineModeIntersect : CombineModeReplace));
    C(GdipFillRectangle(g, solid(RED), 0, 0, 300, 300));
    C(GdipEndContainer(g, c));
    C(GdipFillRectangle(g, solid(BLUE), 0, 80, 300, 300));
    reset_clip(g);
    C(GdipResetWorldTransform(g));
    C(GdipDrawRectangle(g, pen(BLACK, 1), 20, 20, 180, 120));
}

static void container_nested(GpGraphics *g)
{
    GraphicsContainer outer, inner;
    const GpRectF dst = {20, 20, 200, 120}, src = {0, 0, 100, 60};
    C(GdipBeginContainer(g, &dst, &src, UnitPixel, &outer));
    C(GdipSetClipRect(g, 5, 5, 90, 50, CombineModeReplace));
    C(GdipFillRectangle(g, solid(GREY), 0, 0, 100, 60));
    C(GdipBeginContainer2(g, &inner));
    C(GdipTranslateWorldTransform(g, 50, 30, MatrixOrderPrepend));
    C(GdipRotateWorldTransform(g, 45, MatrixOrderPrepend));
    C(GdipSetClipRect(g, -20, -20, 40, 40, CombineModeIntersect));
    C(GdipFillRectangle(g, solid(RED), -100, -100, 200, 200));
    C(GdipSetPageUnit(g, UnitMillimeter));
    C(GdipEndContainer(g, inner));
    C(GdipFillRectangle(g, solid(BLUE), 0, 0, 20, 10));
    C(GdipEndContainer(g, outer));
    C(GdipFillRectangle(g, solid(GREEN), 0, 0, 20, 10));
}

/* ---- Clipping ---- */

/* Two rectangles combined by MODE, the whole page filled through them, their outlines
   drawn once the clip is gone. */
static void clip_rect(GpGraphics *g, int mode)
{
    C(GdipSetClipRect(g, 20, 20, 120, 90, CombineModeReplace));
    C(GdipSetClipRect(g, 100, 50, 120, 90, mode));
    C(GdipFillRectangle(g, solid(BLUE), 0, 0, 240, 160));
    reset_clip(g);
    GpPen *p = pen(BLACK, 1);
    C(GdipDrawRectangle(g, p, 20, 20, 120, 90));
    C(GdipDrawRectangle(g, p, 100, 50, 120, 90));
}
static void clip_replace(GpGraphics *g) { clip_rect(g, CombineModeReplace); }
static void clip_intersect(GpGraphics *g) { clip_rect(g, CombineModeIntersect); }
static void clip_union(GpGraphics *g) { clip_rect(g, CombineModeUnion); }
static void clip_xor(GpGraphics *g) { clip_rect(g, CombineModeXor); }
static void clip_exclude(GpGraphics *g) { clip_rect(g, CombineModeExclude); }
static void clip_complement(GpGraphics *g) { clip_rect(g, CombineModeComplement); }

static void clip_path(GpGraphics *g)
{
    GpPath *p = path(FillModeAlternate);
    C(GdipAddPathEllipse(p, 110, 20, 120, 120));
    C(GdipAddPathPolygon(p, star, COUNT(star)));
    C(GdipSetClipPath(g, p, CombineModeReplace));
    C(GdipFillRectangle(g, solid(GREEN), 0, 0, 240, 160));
    reset_clip(g);
    C(GdipDrawPath(g, pen(BLACK, 1), p));
}

static void clip_region(GpGraphics *g)
{
    const GpRectF box = {20, 20, 100, 100}, hole = {60, 60, 40, 40}, bar = {10, 130, 220, 20};
    GpRegion *r = NULL;
    C(GdipCreateRegionRect(&box, &r));
    keep(KIND_REGION, r);
    GpPath *p = path(FillModeAlternate);
    C(GdipAddPathEllipse(p, 80, 30, 140, 90));
    C(GdipCombineRegionPath(r, p, CombineModeUnion));
    C(GdipCombineRegionRect(r, &hole, CombineModeExclude));
    C(GdipCombineRegionRect(r, &bar, CombineModeUnion));
    C(GdipSetClipRegion(g, r, CombineModeReplace));
    C(GdipFillRectangle(g, solid(RED), 0, 0, 240, 160));
}

static void clip_reset(GpGraphics *g)
{
    C(GdipSetClipRect(g, 20, 20, 100, 60, CombineModeReplace));
    C(GdipFillRectangle(g, solid(BLUE), 0, 0, 240, 160));
    reset_clip(g);
    C(GdipFillRectangle(g, solid(0x80E02020), 60, 50, 160, 90));
}

/* Wine's GDI+ plays no OffsetClip record: the twin sets the moved rectangle itself. */
static void clip_offset(GpGraphics *g)
{
    C(GdipSetClipRect(g, 20, 20, 80, 50, CombineModeReplace));
    C(GdipFillRectangle(g, solid(GREY), 0, 0, 240, 160));
    if (twin)
        C(GdipSetClipRect(g, 120, 40, 80, 50, CombineModeReplace));
    else
        C(GdipTranslateClip(g, 100, 20));
    C(GdipFillRectangle(g, solid(BLUE), 0, 0, 240, 160));
    /* Under a scale the offset is in world units: 40 x 10 moves 80 x 20 pixels. */
    reset_clip(g);
    C(GdipScaleWorldTransform(g, 2, 2, MatrixOrderPrepend));
    if (twin) {
        C(GdipSetClipRect(g, 50, 60, 30, 20, CombineModeReplace));
    } else {
        C(GdipSetClipRect(g, 10, 50, 30, 20, CombineModeReplace));
        C(GdipTranslateClip(g, 40, 10));
    }
    C(GdipFillRectangle(g, solid(RED), 0, 0, 120, 80));
}

static void clip_transformed(GpGraphics *g)
{
    C(GdipTranslateWorldTransform(g, 70, 20, MatrixOrderPrepend));
    C(GdipRotateWorldTransform(g, 25, MatrixOrderPrepend));
    C(GdipSetClipRect(g, 0, 0, 140, 60, CombineModeReplace));
    C(GdipResetWorldTransform(g));
    C(GdipFillRectangle(g, solid(BLUE), 0, 0, 240, 160));
    C(GdipSetClipRect(g, 0, 0, 240, 80, CombineModeIntersect));
    C(GdipFillRectangle(g, solid(GREEN), 0, 0, 240, 160));
}

/* ---- GDI drawing handed over mid-page ---- */

static void get_dc(GpGraphics *g)
{
    C(GdipFillRectangle(g, solid(BLUE), 10, 10, 100, 80));
    HDC dc = NULL;
    C(GdipGetDC(g, &dc));
    if (dc) {
        HBRUSH brush = CreateSolidBrush(RGB(240, 160, 0));
        HPEN line = CreatePen(PS_SOLID, 3, RGB(0, 160, 0));
        HGDIOBJ old_brush = SelectObject(dc, brush), old_pen = SelectObject(dc, line);
        Rectangle(dc, 60, 40, 200, 120);
        MoveToEx(dc, 10, 150, NULL);
        LineTo(dc, 230, 100);
        SelectObject(dc, old_brush);
        SelectObject(dc, old_pen);
        DeleteObject(brush);
        DeleteObject(line);
        C(GdipReleaseDC(g, dc));
    }
    fill_ellipse(g, solid(0x80E02020), 120, 20, 100, 100);
}

/* ---- Paint, caps and text ---- */

/* Wide pens painted by a linear gradient and by a hatch. */
static void pen_brushes(GpGraphics *g)
{
    const GpPointF from = {10, 0}, to = {110, 0};
    GpBrush *gradient = NULL, *hatch = NULL;
    C(GdipCreateLineBrush(&from, &to, RED, BLUE, 0, &gradient));
    keep(KIND_BRUSH, gradient);
    C(GdipCreateHatchBrush(4 /* cross */, BLACK, YELLOW, &hatch));
    keep(KIND_BRUSH, hatch);
    GpPen *p = NULL, *q = NULL;
    C(GdipCreatePen2(gradient, 12, UnitWorld, &p));
    keep(KIND_PEN, p);
    C(GdipCreatePen2(hatch, 16, UnitWorld, &q));
    keep(KIND_PEN, q);
    C(GdipDrawRectangle(g, p, 20, 20, 80, 110));
    C(GdipDrawLine(g, q, 130, 30, 220, 130));
}

/* The line ends GDI+ draws as shapes: the four anchors. */
static void pen_anchor_caps(GpGraphics *g)
{
    for (int i = 0; i < 4; i++) {
        GpPen *p = pen(BLUE, 4);
        C(GdipSetPenStartCap(p, 0x11 + i));
        C(GdipSetPenEndCap(p, 0x11 + i));
        C(GdipDrawLine(g, p, 30, 25 + 35 * i, 210, 25 + 35 * i));
    }
}

static void hatch_fills(GpGraphics *g)
{
    static const int styles[] = {0, 1, 2, 3, 4, 5, 6, 12, 20, 30, 36, 40, 44, 48, 50, 52};
    for (int i = 0; i < COUNT(styles); i++) {
        GpBrush *b = NULL;
        C(GdipCreateHatchBrush(styles[i], i % 2 ? RED : BLUE, i % 3 ? 0xFFFFFFFFu : YELLOW, &b));
        keep(KIND_BRUSH, b);
        C(GdipFillRectangle(g, b, 8 + 58 * (i % 4), 6 + 38 * (i / 4), 50, 32));
    }
}

static void linear_gradients(GpGraphics *g)
{
    const GpRectF across = {10, 10, 100, 60}, turned = {130, 10, 100, 60};
    GpBrush *a = NULL, *b = NULL, *c = NULL, *d = NULL;
    C(GdipCreateLineBrushFromRectWithAngle(&across, RED, BLUE, 0, FALSE, 0, &a));
    keep(KIND_BRUSH, a);
    C(GdipCreateLineBrushFromRectWithAngle(&turned, YELLOW, GREEN, 45, TRUE, 0, &b));
    keep(KIND_BRUSH, b);
    C(GdipFillRectangle(g, a, 10, 10, 100, 60));
    C(GdipFillRectangle(g, b, 130, 10, 100, 60));
    /* A blend that holds the first colour a while, and preset colours, each repeated
       (mirrored) past a 50-pixel gradient. */
    const GpPointF from = {10, 0}, to = {60, 0};
    C(GdipCreateLineBrush(&from, &to, BLACK, 0xFFFFFFFFu, 1 /* tile flip x */, &c));
    keep(KIND_BRUSH, c);
    const REAL factors[] = {0, 0, 1}, positions[] = {0, 0.4f, 1};
    C(GdipSetLineBlend(c, factors, positions, COUNT(factors)));
    C(GdipFillRectangle(g, c, 10, 85, 220, 30));
    C(GdipCreateLineBrush(&from, &to, BLACK, BLACK, 0, &d));
    keep(KIND_BRUSH, d);
    const ARGB colours[] = {RED, YELLOW, GREEN, BLUE};
    const REAL at[] = {0, 0.3f, 0.7f, 1};
    C(GdipSetLinePresetBlend(d, colours, at, COUNT(colours)));
    C(GdipFillRectangle(g, d, 10, 120, 220, 30));
}

/* Strings laid out in rectangles: the three alignments along and across the lines (Wine
   records each line as DrawDriverString, placed as its GDI+ lays it out). */
static void draw_string(GpGraphics *g)
{
    GpFontFamily *family = NULL;
    GpFont *font = NULL;
    C(GdipCreateFontFamilyFromName(L"Arial", NULL, &family));
    keep(KIND_FAMILY, family);
    C(GdipCreateFont(family, 14, 0, UnitPixel, &font));
    keep(KIND_FONT, font);
    for (int i = 0; i < 3; i++) {
        GpStringFormat *format = NULL;
        C(GdipCreateStringFormat(0, 0, &format));
        keep(KIND_FORMAT, format);
        C(GdipSetStringFormatAlign(format, i));
        C(GdipSetStringFormatLineAlign(format, i));
        const GpRectF box = {10 + 75 * i, 10, 70, 140};
        C(GdipDrawRectangle(g, pen(GREY, 1), box.X, box.Y, box.Width, box.Height));
        C(GdipDrawString(g, L"Words wrap in the box", -1, font, &box, format,
                         solid(i == 1 ? RED : BLUE)));
    }
}

/* ---- Twins of written pages (write-pages): the same points, drawn by GDI+ ---- */

/* write-pages' draw-curve: all of a curve at tension 0.5, and the second and third of
   the four segments of another at tension 1. */
static void written_draw_curve(GpGraphics *g)
{
    const GpPointF a[] = {{10.5f, 40}, {60, 10.25f}, {110, 50}, {160, 15}, {230, 45}};
    const GpPointF b[] = {{10, 130}, {60, 90}, {110, 140}, {160, 95}, {230, 135}};
    C(GdipDrawCurve3(g, pen(BLUE, 3), a, COUNT(a), 0, 4, 0.5f));
    C(GdipDrawCurve3(g, pen(RED, 2), b, COUNT(b), 1, 2, 1));
}

/* write-pages' draw-closed-curve. */
static void written_draw_closed_curve(GpGraphics *g)
{
    const GpPointF a[] = {{20, 20}, {100, 30}, {60, 70}, {110, 130}, {15, 120}};
    const GpPointF b[] = {{135.5f, 20}, {215, 30.5f}, {175, 70}, {225, 130}, {130, 120}};
    C(GdipDrawClosedCurve2(g, pen(BLUE, 2), a, COUNT(a), 0.5f));
    C(GdipDrawClosedCurve2(g, pen(RED, 3), b, COUNT(b), 1));
}

enum { TWIN = 1, TWIN_ONLY = 2 };
typedef struct {
    const char *name;
    int type, twin;
    void (*draw)(GpGraphics *);
} Page;

#define PLUS EmfTypeEmfPlusOnly
#define DUAL EmfTypeEmfPlusDual
static const Page pages[] = {
    {"fill-rects", PLUS, 0, fill_rects},
    {"fill-rects-alpha", PLUS, 0, fill_rects_alpha},
    {"draw-rects", PLUS, 0, draw_rects},
    {"ellipses", PLUS, TWIN, ellipses},
    {"pie-outlines", PLUS, 0, pie_outlines},
    {"truncated-records", PLUS, 0, truncated_records},
    {"lines", PLUS, 0, lines},
    {"polygon", PLUS, 0, polygon},
    {"beziers", PLUS, 0, beziers},
    {"curve-tension", PLUS, 0, curve_tension},
    {"closed-curve", PLUS, 0, closed_curve},
    {"fill-closed-curve", PLUS, 0, fill_closed_curve},
    {"path-fill", PLUS, 0, path_fill},
    {"path-draw", PLUS, 0, path_draw},
    {"path-dual", DUAL, 0, path_fill_draw},
    {"clear", PLUS, TWIN, clear},
    {"fill-region", PLUS, 0, fill_region},
    {"smoothing-none", PLUS, TWIN, smoothing_none},
    {"smoothing-antialias", PLUS, TWIN, smoothing_antialias},
    {"pixel-offset-none", PLUS, 0, pixel_offset_none},
    {"pixel-offset-half", PLUS, 0, pixel_offset_half},
    {"pen-widths", PLUS, 0, pen_widths},
    {"pen-joins", PLUS, 0, pen_joins},
    {"pen-caps", PLUS, 0, pen_caps},
    {"pen-dashes", PLUS, TWIN, pen_dashes},
    {"pen-dash-array", PLUS, TWIN, pen_dash_array},
    {"pen-dash-caps", PLUS, 0, pen_dash_caps},
    {"pen-transform", PLUS, 0, pen_transform},
    {"pen-inset", PLUS, TWIN, pen_inset},
    {"pen-width-zero", PLUS, TWIN, pen_width_zero},
    {"transform-set", PLUS, TWIN, transform_set},
    {"transform-reset", PLUS, 0, transform_reset},
    {"transform-multiply", PLUS, 0, transform_multiply},
    {"transform-translate", PLUS, 0, transform_translate},
    {"transform-scale", PLUS, 0, transform_scale},
    {"transform-rotate", PLUS, 0, transform_rotate},
    {"page-unit-pixel", PLUS, 0, page_unit_pixel},
    {"page-unit-point", PLUS, 0, page_unit_point},
    {"page-unit-inch", PLUS, 0, page_unit_inch},
    {"page-unit-millimeter", PLUS, 0, page_unit_millimeter},
    {"page-unit-document", PLUS, TWIN, page_unit_document},
    {"page-scale", PLUS, 0, page_scale},
    {"save-restore", PLUS, 0, save_restore},
    {"container-rects", PLUS, TWIN, container_rects},
    {"container-noparams", PLUS, TWIN, container_noparams},
    {"container-nested", PLUS, 0, container_nested},
    {"clip-replace", PLUS, TWIN, clip_replace},
    {"clip-intersect", PLUS, TWIN, clip_intersect},
    {"clip-union", PLUS, TWIN, clip_union},
    {"clip-xor", PLUS, TWIN, clip_xor},
    {"clip-exclude", PLUS, TWIN, clip_exclude},
    {"clip-complement", PLUS, TWIN, clip_complement},
    {"clip-path", PLUS, TWIN, clip_path},
    {"clip-region", PLUS, 0, clip_region},
    {"clip-reset", PLUS, TWIN, clip_reset},
    {"clip-offset", PLUS, TWIN, clip_offset},
    {"clip-transformed", PLUS, 0, clip_transformed},
    {"getdc-dual", DUAL, TWIN, get_dc},
    {"getdc-plus-only", PLUS, TWIN, get_dc},
    {"pen-brushes", PLUS, 0, pen_brushes},
    {"pen-anchor-caps", PLUS, 0, pen_anchor_caps},
    {"hatch-fills", PLUS, 0, hatch_fills},
    {"linear-gradients", PLUS, 0, linear_gradients},
    {"draw-string", PLUS, 0, draw_string},
    {"draw-curve", PLUS, TWIN_ONLY, written_draw_curve},
    {"draw-closed-curve", PLUS, TWIN_ONLY, written_draw_closed_curve},
};

static void record(const Page *page, const char *outdir, HDC screen)
{
    page_name = page->name;
    char narrow[MAX_PATH];
    WCHAR wide[MAX_PATH];
    snprintf(narrow, sizeof narrow, "%s\\%s.emf", outdir, page->name);
    MultiByteToWideChar(CP_UTF8, 0, narrow, -1, wide, MAX_PATH);
    const GpRectF frame = {0, 0, 240, 160};
    GpImage *metafile = NULL;
    GpGraphics *g = NULL;
    /* The description goes into the EMF header as it stands, where a program's name and a
       picture's, each ended by a null, are looked for: without the second null, Wine's
       GDI reads on past the string. */
    C(GdipRecordMetafileFileName(wide, screen, page->type, &frame, MetafileFrameUnitPixel,
                                 L"Quadrine\0EMF+ test page\0", &metafile));
    if (!metafile)
        return;
    C(GdipGetImageGraphicsContext(metafile, &g));
    if (g) {
        page->draw(g);
        /* The file is finished when the graphics, then the metafile, go. */
        C(GdipDeleteGraphics(g));
    }
    free_made();
    C(GdipDisposeImage(metafile));
}

int main(int argc, char **argv)
{
    twin = argc == 3 && strcmp(argv[1], "--twins") == 0;
    if (argc != 2 + twin) {
        fprintf(stderr, "usage: record-pages.exe [--twins] OUTDIR\n");
        return 2;
    }
    GdiplusStartupInput input = {1, NULL, FALSE, FALSE};
    ULONG_PTR token = 0;
    if (GdiplusStartup(&token, &input, NULL) != 0) {
        fprintf(stderr, "record-pages.exe: GDI+ did not start\n");
        return 2;
    }
    HDC screen = GetDC(NULL);
    for (int i = 0; i < COUNT(pages); i++)
        if (twin ? pages[i].twin != 0 : pages[i].twin != TWIN_ONLY)
            record(&pages[i], argv[argc - 1], screen);
    ReleaseDC(NULL, screen);
    GdiplusShutdown(token);
    return failures ? 1 : 0;
}
