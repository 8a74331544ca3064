#include "shell/CameraMap.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>

#include "base/Errors.h"
#include "base/Maths.h"
#include "common/Constants.h"
#include "common/Variables.h"
#include "loading/m_InitMesh.h"
#include "platform/capture/FrameCapture.h"
#include "platform/files/Files.h"
#include "platform/font/Font.h"
#include "platform/xfile/XFile.h"
#include "render/m_MoveCamera.h"
#include "render/r_Render.h"
#include "shell/Main.h"
#include "timeline/CameraFlight.h"
#include "timeline/m_InitSteps.h"

namespace {

// The camera's pace while it is drawn on the map; the real one follows the frame time.
constexpr int kMapFramesPerSecond = 60;
// A path that has not ended after this long never will (a zero-length segment).
constexpr size_t kMostFrames = 20 * 60 * kMapFramesPerSecond;

struct Bounds {
    D3DVECTOR low{0, 0, 0}, high{0, 0, 0};
};

std::optional<Bounds> MeshBounds(const MeshListRow& row) {
    const std::string file = ResolvePath(AppPath + "\\" + row.Folder + "\\" + row.File);
    const XMesh mesh = ParseXFile(ReadWholeFile(file), file);
    if (mesh.geometry.vertices.empty()) return std::nullopt;
    const float inf = std::numeric_limits<float>::infinity();
    Bounds b{{inf, inf, inf}, {-inf, -inf, -inf}};
    for (const MeshVertex& v : mesh.geometry.vertices) {
        b.low = {std::min(b.low.x, v.position[0]), std::min(b.low.y, v.position[1]), std::min(b.low.z, v.position[2])};
        b.high = {std::max(b.high.x, v.position[0]), std::max(b.high.y, v.position[1]),
                  std::max(b.high.z, v.position[2])};
    }
    return b;
}

double Cross(const MapPoint& o, const MapPoint& a, const MapPoint& b) {
    return double(a.x - o.x) * double(b.z - o.z) - double(a.z - o.z) * double(b.x - o.x);
}

// The convex hull, counter-clockwise (monotone chain).
std::vector<MapPoint> Hull(std::vector<MapPoint> points) {
    std::sort(points.begin(), points.end(), [](const MapPoint& a, const MapPoint& b) {
        return a.x < b.x || (a.x == b.x && a.z < b.z);
    });
    std::vector<MapPoint> hull(points.size() * 2);
    size_t k = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && Cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
        hull[k++] = points[i];
    }
    for (size_t i = points.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && Cross(hull[k - 2], hull[k - 1], points[i - 1]) <= 0) --k;
        hull[k++] = points[i - 1];
    }
    hull.resize(k > 1 ? k - 1 : k);
    return hull;
}

MapFootprint Footprint(const ObjectRow& row, const Bounds& bounds) {
    SceneObject object;
    object.PosX = row.PosX, object.PosY = row.PosY, object.PosZ = row.PosZ;
    object.RotX = row.RotX, object.RotY = row.RotY, object.RotZ = row.RotZ;
    object.ScaleX = row.ScaleX, object.ScaleY = row.ScaleY, object.ScaleZ = row.ScaleZ;
    D3DMATRIX world{}, temp{};
    ObjectWorldMatrix(object, world, temp);
    std::vector<MapPoint> corners;
    for (int c = 0; c < 8; ++c) {
        const D3DVECTOR local{(c & 1) ? bounds.high.x : bounds.low.x, (c & 2) ? bounds.high.y : bounds.low.y,
                              (c & 4) ? bounds.high.z : bounds.low.z};
        const D3DVECTOR p = TransformPoint(local, world);
        corners.push_back({p.x, p.z});
    }
    return {row.Name, Hull(std::move(corners))};
}

// The eye frame by frame as the camera flies the step's path from its hand-over.
std::vector<MapPoint> FlownPath(const Step& step) {
    std::vector<MapPoint> flown;
    const int32_t lastKey = step.EyePath.UBound() - 1;
    if (step.EyePath.UBound() <= 2) return flown;
    int32_t key = 2;
    float t = 0;
    while (key <= lastKey && flown.size() < kMostFrames) {
        D3DVECTOR eye{}, target{};
        PathPoints(step, key, key, t, eye, target);
        flown.push_back({eye.x, eye.z});
        t += SegmentAdvance(step, key, 1.0 / kMapFramesPerSecond);
        if (t > 1.0f) {
            ++key;
            t = 0;
        }
    }
    return flown;
}

// --- drawing

struct Rgb {
    uint8_t r, g, b;
};
constexpr Rgb kPaper{244, 241, 234}, kInk{40, 40, 46}, kFootprint{196, 190, 178}, kFootprintEdge{120, 112, 100},
    kPath{31, 95, 191}, kCutShort{208, 48, 48}, kFogStart{224, 144, 32}, kFogEnd{150, 150, 160}, kKey{20, 20, 24};

constexpr int kPanel = 560;       // a panel's map, square
constexpr int kCaption = 56;      // the caption's band under it
constexpr int kMargin = 24;       // around the map inside its panel

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), rgba_(size_t(width) * height * 4) {
        Unclip();
        Fill(0, 0, width, height, kPaper);
    }
    int Width() const { return width_; }
    int Height() const { return height_; }
    const uint8_t* Data() const { return rgba_.data(); }

    void Blend(int x, int y, Rgb c, int alpha) {
        if (x < clipX0_ || y < clipY0_ || x >= clipX1_ || y >= clipY1_ || alpha <= 0) return;
        uint8_t* p = &rgba_[(size_t(y) * width_ + x) * 4];
        const int a = std::min(alpha, 255);
        p[0] = uint8_t((c.r * a + p[0] * (255 - a) + 127) / 255);
        p[1] = uint8_t((c.g * a + p[1] * (255 - a) + 127) / 255);
        p[2] = uint8_t((c.b * a + p[2] * (255 - a) + 127) / 255);
        p[3] = 255;
    }
    void Fill(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) Blend(x, y, c, 255);
    }
    void Clip(int x0, int y0, int x1, int y1) { clipX0_ = x0, clipY0_ = y0, clipX1_ = x1, clipY1_ = y1; }
    void Unclip() { Clip(0, 0, width_, height_); }

    // A filled convex polygon, pixel centres inside it.
    void Polygon(const std::vector<std::pair<double, double>>& p, Rgb c, int alpha) {
        if (p.size() < 3) return;
        double top = p[0].second, bottom = top;
        for (const auto& q : p) top = std::min(top, q.second), bottom = std::max(bottom, q.second);
        for (int y = std::max(clipY0_, int(std::floor(top))); y <= std::min(clipY1_ - 1, int(std::ceil(bottom))); ++y) {
            const double cy = y + 0.5;
            double left = 1e18, right = -1e18;
            for (size_t i = 0; i < p.size(); ++i) {
                const auto& a = p[i];
                const auto& b = p[(i + 1) % p.size()];
                if ((a.second <= cy) == (b.second <= cy)) continue;
                const double x = a.first + (cy - a.second) * (b.first - a.first) / (b.second - a.second);
                left = std::min(left, x), right = std::max(right, x);
            }
            for (int x = int(std::ceil(left - 0.5)); x <= int(std::floor(right - 0.5)); ++x) Blend(x, y, c, alpha);
        }
    }
    // A line `width` pixels wide with round ends.
    void Line(double x0, double y0, double x1, double y1, double width, Rgb c) {
        const double r = width / 2;
        const int minX = int(std::floor(std::min(x0, x1) - r - 1)), maxX = int(std::ceil(std::max(x0, x1) + r + 1));
        const int minY = int(std::floor(std::min(y0, y1) - r - 1)), maxY = int(std::ceil(std::max(y0, y1) + r + 1));
        const double dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
        for (int y = std::max(minY, clipY0_); y <= std::min(maxY, clipY1_ - 1); ++y) {
            for (int x = std::max(minX, clipX0_); x <= std::min(maxX, clipX1_ - 1); ++x) {
                const double px = x + 0.5 - x0, py = y + 0.5 - y0;
                const double s = length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0.0;
                const double d = std::hypot(px - s * dx, py - s * dy);
                const double cover = std::clamp(r + 0.5 - d, 0.0, 1.0);
                if (cover > 0) Blend(x, y, c, int(std::lround(cover * 255)));
            }
        }
    }
    void Disc(double x, double y, double radius, Rgb c) { Line(x, y, x, y, radius * 2, c); }
    // A dashed circle.
    void Circle(double cx, double cy, double radius, Rgb c) {
        const int dashes = std::max(12, int(radius / 6));
        for (int i = 0; i < dashes; i += 2) {
            const double a0 = 2 * kPi * i / dashes, a1 = 2 * kPi * (i + 1) / dashes;
            Line(cx + radius * std::cos(a0), cy + radius * std::sin(a0), cx + radius * std::cos(a1),
                 cy + radius * std::sin(a1), 1.5, c);
        }
    }
    void Text(const TextBitmap& text, int left, int top, Rgb c) {
        for (int y = 0; y < text.height; ++y)
            for (int x = 0; x < text.width; ++x) Blend(left + x, top + y, c, text.coverage[size_t(y * text.width + x)]);
    }

private:
    static constexpr double kPi = 3.14159265358979323846;
    int width_, height_;
    std::vector<uint8_t> rgba_;
    int clipX0_ = 0, clipY0_ = 0, clipX1_ = 0, clipY1_ = 0;
};

// World x, z to panel pixels: x to the right, z up, the panel's content fitted in.
struct View {
    double scale = 1, x0 = 0, z0 = 0;
    int left = 0, top = 0;
    std::pair<double, double> operator()(const MapPoint& p) const {
        return {left + kMargin + (p.x - x0) * scale, top + kMargin + (z0 - p.z) * scale};
    }
};

View FitView(const StepMap& map, int left, int top) {
    double lowX = 1e30, highX = -1e30, lowZ = 1e30, highZ = -1e30;
    auto add = [&](const MapPoint& p) {
        lowX = std::min<double>(lowX, p.x), highX = std::max<double>(highX, p.x);
        lowZ = std::min<double>(lowZ, p.z), highZ = std::max<double>(highZ, p.z);
    };
    for (const MapFootprint& f : map.footprints)
        for (const MapPoint& p : f.outline) add(p);
    for (const MapPoint& p : map.keys) add(p);
    for (const MapPoint& p : map.flown) add(p);
    if (lowX > highX) lowX = highX = lowZ = highZ = 0;
    const double span = std::max({highX - lowX, highZ - lowZ, 1.0});
    View view;
    view.scale = (kPanel - 2 * kMargin) / span;
    view.x0 = (lowX + highX) / 2 - span / 2;
    view.z0 = (lowZ + highZ) / 2 + span / 2;
    view.left = left;
    view.top = top;
    return view;
}

class Labels {
public:
    void Need(const std::string& text) { texts_.emplace(text, TextBitmap{}); }
    void Rasterise(int pixels) {
        std::vector<std::string> lines;
        for (const auto& [text, bitmap] : texts_) lines.push_back(text);
        FontDescription face;
        face.faceName = "DejaVu Sans";
        const std::vector<TextBitmap> bitmaps = RasteriseText(face, pixels, lines);
        for (size_t i = 0; i < lines.size(); ++i) texts_[lines[i]] = bitmaps[i];
    }
    const TextBitmap& operator[](const std::string& text) const { return texts_.at(text); }

private:
    std::map<std::string, TextBitmap> texts_;
};

void DrawPanel(Canvas& canvas, const StepMap& map, int left, int top, const Labels& small, const Labels& large) {
    const View view = FitView(map, left, top);
    canvas.Clip(left, top, left + kPanel, top + kPanel);
    // Translucent, so that ground planes do not hide what stands on them.
    std::vector<std::vector<std::pair<double, double>>> outlines;
    for (const MapFootprint& f : map.footprints) {
        outlines.emplace_back();
        for (const MapPoint& p : f.outline) outlines.back().push_back(view(p));
        canvas.Polygon(outlines.back(), kFootprint, 90);
    }
    for (const auto& outline : outlines) {
        for (size_t i = 0; i < outline.size(); ++i) {
            const auto& a = outline[i];
            const auto& b = outline[(i + 1) % outline.size()];
            canvas.Line(a.first, a.second, b.first, b.second, 1.0, kFootprintEdge);
        }
    }
    // The fog's reach around the path's start, middle and end.
    if (!map.flown.empty()) {
        for (size_t i : {size_t{0}, map.flown.size() / 2, map.flown.size() - 1}) {
            const auto [x, y] = view(map.flown[i]);
            canvas.Circle(x, y, FogStart * view.scale, kFogStart);
            canvas.Circle(x, y, FogEnd * view.scale, kFogEnd);
        }
    }
    for (size_t i = 1; i < map.flown.size(); ++i) {
        const auto [x0, y0] = view(map.flown[i - 1]);
        const auto [x1, y1] = view(map.flown[i]);
        canvas.Line(x0, y0, x1, y1, 2.5, i < map.framesInStep ? kPath : kCutShort);
    }
    // The direction of travel: an arrowhead every two seconds of flight.
    for (size_t i = kMapFramesPerSecond; i + 1 < map.flown.size(); i += 2 * kMapFramesPerSecond) {
        const auto [x0, y0] = view(map.flown[i - 1]);
        const auto [x1, y1] = view(map.flown[i + 1]);
        const double dx = x1 - x0, dy = y1 - y0, length = std::hypot(dx, dy);
        if (length < 1e-6) continue;
        const double ux = dx / length, uy = dy / length;
        const auto [tipX, tipY] = view(map.flown[i]);
        canvas.Polygon({{tipX + ux * 7, tipY + uy * 7},
                        {tipX - ux * 5 - uy * 5, tipY - uy * 5 + ux * 5},
                        {tipX - ux * 5 + uy * 5, tipY - uy * 5 - ux * 5}},
                       i < map.framesInStep ? kPath : kCutShort, 255);
    }
    for (size_t k = 0; k < map.keys.size(); ++k) {
        const auto [x, y] = view(map.keys[k]);
        canvas.Disc(x, y, 3.5, kKey);
        canvas.Text(small[std::to_string(k)], int(std::lround(x)) + 5, int(std::lround(y)) - 16, kKey);
    }
    canvas.Unclip();
    canvas.Line(left + 0.5, top + 0.5, left + kPanel - 0.5, top + 0.5, 1, kFootprintEdge);
    canvas.Line(left + 0.5, top + kPanel - 0.5, left + kPanel - 0.5, top + kPanel - 0.5, 1, kFootprintEdge);
    canvas.Text(large[map.caption], left + 10, top + kPanel + 8, kInk);
}

}  // namespace

std::vector<StepMap> BuildCameraMap(std::span<const ObjectRow> objects) {
    InitSteps([](const std::string&) {});
    FillFlowerIndex();
    std::map<int32_t, std::optional<Bounds>> meshes;
    std::map<int32_t, const ObjectRow*> bySlot;
    for (const ObjectRow& row : objects) bySlot[row.Slot < 0 ? FlowerIndex[1] : row.Slot] = &row;
    std::vector<StepMap> maps;
    for (int32_t s = 0; s <= Steps.UBound(); ++s) {
        const Step& step = Steps[s];
        StepMap map;
        map.step = s;
        map.caption = "step " + std::to_string(s) + ": " + FlightSummary(step);
        for (int32_t i = 0; i <= step.DrawListMax; ++i) {
            const auto found = bySlot.find(step.DrawList[i]);
            if (found == bySlot.end() || found->second->MeshIndex == 0) continue;
            const ObjectRow& row = *found->second;
            if (!meshes.count(row.MeshIndex)) {
                const auto listed = std::find_if(MeshList.begin(), MeshList.end(),
                                                 [&](const MeshListRow& m) { return m.Slot == row.MeshIndex; });
                meshes[row.MeshIndex] = listed == MeshList.end() ? std::nullopt : MeshBounds(*listed);
            }
            if (meshes[row.MeshIndex]) map.footprints.push_back(Footprint(row, *meshes[row.MeshIndex]));
        }
        for (int32_t k = 0; k < KeyCount(step.EyePath); ++k) {
            map.keys.push_back({step.EyePath[k].Position.x, step.EyePath[k].Position.z});
        }
        map.flown = FlownPath(step);
        map.framesInStep = static_cast<size_t>(step.Duration) * kMapFramesPerSecond / 1000;
        maps.push_back(std::move(map));
    }
    return maps;
}

void WriteCameraMap(const std::vector<StepMap>& maps, const std::filesystem::path& file) {
    const int columns = maps.size() > 1 ? 2 : 1;
    const int rows = static_cast<int>((maps.size() + 1) / 2);
    Canvas canvas(columns * kPanel, std::max(rows, 1) * (kPanel + kCaption));
    Labels small, large;
    for (const StepMap& map : maps) {
        large.Need(map.caption);
        for (size_t k = 0; k < map.keys.size(); ++k) small.Need(std::to_string(k));
    }
    small.Rasterise(11);
    large.Rasterise(15);
    for (size_t i = 0; i < maps.size(); ++i) {
        DrawPanel(canvas, maps[i], static_cast<int>(i % 2) * kPanel, static_cast<int>(i / 2) * (kPanel + kCaption),
                  small, large);
    }
    WritePng(file, canvas.Data(), static_cast<uint32_t>(canvas.Width()), static_cast<uint32_t>(canvas.Height()));
}
