// The drawing styles as the program draws them (Mesa, a real window's
// context, pictures read back): atoms in true depth whatever their order,
// spheres round, lit from the upper left and as large as --radius and
// --zoom say, a close-packed crystal covered edge to edge, lit cubes, and a
// first view whose box fills the frame. The radius's default, measured on
// the first frame, is checked against lattices whose spacing is known.
#include "viewer/app/view.h"
#include "viewer/cloud/spacing.h"

#include "viewer_process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 640;

struct Atom {
    int type;
    double x, y, z;
};

// A one-frame dump of a box 0..side on each axis.
void write_dump(const std::string &path, const std::vector<Atom> &atoms, double side = 10) {
    std::ofstream f(path);
    f << "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n"
      << atoms.size() << "\nITEM: BOX BOUNDS pp pp pp\n";
    for (int a = 0; a < 3; ++a)
        f << "0 " << side << "\n";
    f << "ITEM: ATOMS id type x y z\n";
    int id = 0;
    for (const Atom &a : atoms)
        f << ++id << " " << a.type << " " << a.x << " " << a.y << " " << a.z << "\n";
}

// The fcc lattice of `cells` cubic cells of edge a, as `lattice fcc` fills
// a box 0..cells*a (the basis 0, (1/2 1/2 0), (1/2 0 1/2), (0 1/2 1/2)).
std::vector<Atom> fcc(int cells, double a) {
    std::vector<Atom> atoms;
    const double basis[4][3] = {{0, 0, 0}, {.5, .5, 0}, {.5, 0, .5}, {0, .5, .5}};
    for (int i = 0; i < cells; ++i)
        for (int j = 0; j < cells; ++j)
            for (int k = 0; k < cells; ++k)
                for (const auto &b : basis)
                    atoms.push_back(
                        {1 + (i + j + k) % 2, (i + b[0]) * a, (j + b[1]) * a, (k + b[2]) * a});
    return atoms;
}

vt::Image shoot(const vt::Scratch &s, const std::string &dump, std::vector<std::string> options,
                std::string *err = nullptr) {
    std::vector<std::string> args = {s.path + dump, "--screenshot", s.path + "shot.png"};
    args.insert(args.end(), options.begin(), options.end());
    const vt::Outcome r = vt::run(args, s.path);
    EXPECT_EQ(r.status, 0) << r.err;
    if (err != nullptr)
        *err = r.err;
    return vt::Image::png(s.path + "shot.png");
}

int brightness(const vt::Rgb &c) {
    return c[0] + c[1] + c[2];
}

// A lone atom at the box's centre is drawn at the picture's centre; the
// box's nearest lines are 150 pixels away at least at every zoom we use.
const vt::Rect kMiddle{kSide / 2 - 140, kSide / 2 - 140, kSide / 2 + 140, kSide / 2 + 140};

// A near and a far atom on one line of sight, both rows orders, every
// style: the near one's colour wins at the centre, as it does drawn alone.
TEST(ViewerStyle, TheNearAtomHidesTheFarOneWhateverTheRowOrder) {
    const vt::Scratch s;
    const Atom near{1, 5, 5, 9}, far{2, 5, 5, 1};
    write_dump(s.path + "near.dump", {near});
    write_dump(s.path + "far.dump", {far});
    write_dump(s.path + "near_first.dump", {near, far});
    write_dump(s.path + "far_first.dump", {far, near});
    for (const char *style : {"spheres", "points", "cubes"}) {
        SCOPED_TRACE(style);
        const std::vector<std::string> o = {"--style", style, "--radius", "1"};
        const vt::Rgb alone = shoot(s, "near.dump", o).at(kSide / 2, kSide / 2);
        const vt::Rgb behind = shoot(s, "far.dump", o).at(kSide / 2, kSide / 2);
        ASSERT_GT(std::abs(brightness(alone) - brightness(behind)) +
                      std::abs(alone[0] - behind[0]) + std::abs(alone[2] - behind[2]),
                  60)
            << "the two atoms must be told apart";
        for (const char *dump : {"near_first.dump", "far_first.dump"})
            EXPECT_TRUE(shoot(s, dump, o).near(kSide / 2, kSide / 2, alone, 0, 2)) << dump;
    }
    // A sphere in front of the box's corner hides the corner's lines.
    write_dump(s.path + "corner.dump", {{1, 0, 0, 10}});
    const vt::Win corner = vt::eye_to_window(-0.5, -0.5, 0.5 - vv::kHomeDistance, kSide, kSide);
    const vt::Image img = shoot(s, "corner.dump", {"--radius", "1"});
    const vt::Rgb c = img.at(static_cast<int>(corner.x), static_cast<int>(corner.y));
    EXPECT_GT(c[2], 2 * c[0]) << "the corner shows the atom, not the box's grey or red: "
                              << vt::str(c);
}

// One atom at the centre: a round silhouette of the radius --radius and
// --zoom ask for (the library's projection: 2.5 * 320 pixels per unit at
// depth 1), brighter at its upper left than at its lower-right rim.
TEST(ViewerStyle, ASphereIsRoundLitFromTheUpperLeftAndAsLargeAsAsked) {
    const vt::Scratch s;
    write_dump(s.path + "one.dump", {{1, 5, 5, 5}});
    const struct {
        const char *radius, *zoom;
        double pixels; // the silhouette's radius
    } rows[] = {
        {"0.5", "1", 0.05 * 800 / 2.05},      {"1", "1", 0.1 * 800 / 2.05},
        {"2", "1", 0.2 * 800 / 2.05},         {"1", "2", 0.1 * 800 * 2 / 2.05},
        {"1", "1.5", 0.1 * 800 * 1.5 / 2.05},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string("--radius ") + row.radius + " --zoom " + row.zoom);
        const vt::Image img = shoot(s, "one.dump", {"--radius", row.radius, "--zoom", row.zoom});
        const vt::Extent e = img.extent(8, vt::Rect(), kMiddle);
        const double across_x = e.right - e.left + 1, across_y = e.top - e.bottom + 1;
        EXPECT_NEAR(across_x, 2 * row.pixels, 2.5);
        EXPECT_NEAR(across_y, across_x, 1.0) << "as tall as wide";
        EXPECT_NEAR(e.pixels, M_PI * row.pixels * row.pixels, 0.04 * M_PI * row.pixels * row.pixels)
            << "a disc fills pi r^2";
        const int cx = kSide / 2, cy = kSide / 2, r = static_cast<int>(row.pixels);
        const int lit = brightness(img.at(cx - r / 3, cy + r / 3));
        const int rim = brightness(img.at(cx + r * 3 / 4, cy - r * 3 / 5));
        const int centre = brightness(img.at(cx, cy));
        EXPECT_GT(lit, centre) << "the light is up and to the left";
        EXPECT_GT(centre, rim + 60) << "the rim away from the light is dark";
        EXPECT_GT(rim, 0) << "but still drawn";
    }
}

// A sphere larger than the driver's largest point is said once and drawn
// at that size: never nothing.
TEST(ViewerStyle, ASphereTooLargeForTheDriverIsClampedNotLost) {
    const vt::Scratch s;
    write_dump(s.path + "one.dump", {{1, 5, 5, 5}});
    std::string err;
    const vt::Image img = shoot(s, "one.dump", {"--radius", "4", "--zoom", "6"}, &err);
    EXPECT_NE(err.find("larger than this OpenGL's largest point"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "said once: " << err;
    EXPECT_GT(img.extent(8, vt::Rect(), kMiddle).pixels, 1000);
}

// The default radius (half the median nearest-neighbour distance) makes a
// close-packed crystal look close-packed: the front face of an fcc box is
// covered almost edge to edge, where points leave it mostly black.
TEST(ViewerStyle, AnFccBoxAtTheDefaultRadiusIsCoveredEdgeToEdge) {
    const vt::Scratch s;
    write_dump(s.path + "fcc.dump", fcc(8, 1.6796), 8 * 1.6796);
    // The front face, 0.5 nearer than the centre: half-side 0.5 / (0.4 *
    // 1.55) of the half-height.
    const vt::Win lo = vt::eye_to_window(-0.5, -0.5, 0.5 - vv::kHomeDistance, kSide, kSide);
    const vt::Win hi = vt::eye_to_window(0.5, 0.5, 0.5 - vv::kHomeDistance, kSide, kSide);
    const int inset = static_cast<int>((hi.x - lo.x) * 0.06);
    const vt::Rect face{static_cast<int>(lo.x) + inset, static_cast<int>(lo.y) + inset,
                        static_cast<int>(hi.x) - inset, static_cast<int>(hi.y) - inset};
    const double area = (face.x1 - face.x0 + 1.0) * (face.y1 - face.y0 + 1.0);
    const vt::Image spheres = shoot(s, "fcc.dump", {});
    EXPECT_GT(spheres.extent(20, vt::Rect(), face).pixels, 0.97 * area);
    const vt::Image points = shoot(s, "fcc.dump", {"--style", "points"});
    EXPECT_LT(points.extent(20, vt::Rect(), face).pixels, 0.3 * area);
}

// Lit cubes: the three faces a turned cube shows are three brightnesses of
// one colour.
TEST(ViewerStyle, ALitCubeShowsFacesOfDifferentBrightness) {
    const vt::Scratch s;
    write_dump(s.path + "one.dump", {{1, 5, 5, 5}});
    const vt::Image img = shoot(
        s, "one.dump", {"--style", "cubes", "--radius", "1.5", "--yaw", "30", "--pitch", "25"});
    std::map<vt::Rgb, int> shades;
    int total = 0;
    for (int y = kMiddle.y0; y <= kMiddle.y1; ++y)
        for (int x = kMiddle.x0; x <= kMiddle.x1; ++x)
            if (brightness(img.at(x, y)) > 24) {
                ++shades[img.at(x, y)];
                ++total;
            }
    std::vector<std::pair<int, vt::Rgb>> big;
    for (const auto &[c, n] : shades)
        if (n > total / 10)
            big.push_back({n, c});
    ASSERT_EQ(big.size(), 3u) << "three faces, each flat";
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = i + 1; j < 3; ++j)
            EXPECT_GT(std::abs(brightness(big[i].second) - brightness(big[j].second)), 20)
                << vt::str(big[i].second) << " against " << vt::str(big[j].second);
}

// At yaw and pitch 0 the box's front face spans at least 75% of the
// picture's smaller side and stays inside it, whichever side that is, and
// the gizmo is inside a square frame.
TEST(ViewerStyle, TheFirstViewsBoxFillsTheFrame) {
    const vt::Scratch s;
    write_dump(s.path + "one.dump", {{1, 5, 5, 5}});
    struct Case {
        const char *style;
        int w, h;
    };
    const Case cases[] = {{"spheres", kSide, kSide},
                          {"points", kSide, kSide},
                          {"cubes", kSide, kSide},
                          {"points", 320, kSide},
                          {"points", kSide, 320}};
    for (const Case &c : cases) {
        const std::string size = std::to_string(c.w) + "x" + std::to_string(c.h);
        SCOPED_TRACE(std::string(c.style) + " " + size);
        const vt::Image img =
            shoot(s, "one.dump", {"--style", c.style, "--radius", "0.2", "--size", size});
        // The box's lit span along the middle row and the middle column.
        const auto span = [&](bool across) {
            int lo = 1 << 30, hi = -1;
            for (int i = 0; i < (across ? c.w : c.h); ++i)
                if (brightness(across ? img.at(i, c.h / 2) : img.at(c.w / 2, i)) > 60) {
                    lo = std::min(lo, i);
                    hi = std::max(hi, i);
                }
            return hi - lo + 1;
        };
        const int across = span(true), down = span(false);
        EXPECT_GE(std::min(across, down), 0.75 * std::min(c.w, c.h));
        EXPECT_LT(across, c.w) << "and inside it";
        EXPECT_LT(down, c.h) << "and inside it";
        if (c.w != c.h)
            continue;
        const vt::Win gizmo = vt::eye_to_window(-0.8 + 0.0625, -0.5, -2.5, kSide, kSide);
        EXPECT_GT(img.count(vt::kRed, 3, static_cast<int>(gizmo.x), static_cast<int>(gizmo.y), 10),
                  4)
            << "the gizmo's red axis";
    }
}

// A frame with no neighbour distance to go by still gets spheres: not a
// radius of 0 or NaN.
TEST(ViewerStyle, AFrameWithoutNeighboursGetsASaneRadius) {
    const vt::Scratch s;
    write_dump(s.path + "one.dump", {{1, 5, 5, 5}});
    write_dump(s.path + "stack.dump", {{1, 5, 5, 5}, {1, 5, 5, 5}, {1, 5, 5, 5}});
    for (const char *dump : {"one.dump", "stack.dump"}) {
        const vt::Extent e = shoot(s, dump, {}).extent(8, vt::Rect(), kMiddle);
        EXPECT_GT(e.right - e.left, 8) << dump;
        EXPECT_LT(e.right - e.left, 100) << dump;
    }
}

VoxelNode node(double x, double y, double z) {
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), 1, 1, 1, nullptr};
}

double spacing_of(std::vector<VoxelNode> &nodes) {
    for (std::size_t i = 0; i + 1 < nodes.size(); ++i)
        nodes[i].next = &nodes[i + 1];
    VoxelNode *head = nodes.empty() ? nullptr : nodes.data();
    return vv::typical_spacing(&head, 1);
}

// The median nearest-neighbour distance of lattices whose spacing is known,
// in any layout; 0 when no point has a neighbour.
TEST(ViewerStyle, TheTypicalSpacingIsTheLatticesNearestNeighbourDistance) {
    const double a = 0.05;
    std::vector<VoxelNode> crystal;
    for (const Atom &at : fcc(12, a))
        crystal.push_back(node(at.x - 0.3, at.y - 0.3, at.z - 0.3));
    EXPECT_NEAR(spacing_of(crystal), a / std::sqrt(2.0), 1e-6);
    // A sheet (a scan of a surface): its in-plane spacing.
    std::vector<VoxelNode> sheet;
    for (int i = 0; i < 300; ++i)
        for (int j = 0; j < 300; ++j)
            sheet.push_back(node(i * 0.003 - 0.45, 0.1, j * 0.003 - 0.45));
    EXPECT_NEAR(spacing_of(sheet), 0.003, 1e-6);
    // Every row twice: the distinct sites' spacing, not 0.
    std::vector<VoxelNode> twice;
    for (int i = 0; i < 100; ++i)
        for (int k = 0; k < 2; ++k)
            twice.push_back(node(i * 0.01 - 0.5, 0, 0));
    EXPECT_NEAR(spacing_of(twice), 0.01, 1e-6);
    std::vector<VoxelNode> none;
    EXPECT_EQ(spacing_of(none), 0.0);
    std::vector<VoxelNode> one = {node(0.1, 0.2, 0.3)};
    EXPECT_EQ(spacing_of(one), 0.0);
    std::vector<VoxelNode> stack(50, node(0.1, 0.2, 0.3));
    EXPECT_EQ(spacing_of(stack), 0.0);
}

} // namespace
