#include "viewer/cloud/elements.h"

#include <cstring>

namespace vv {

namespace {

struct Element {
    const char *symbol;
    float rgb[3];
};

// Generated once from ASE 3.22.1 (Debian python3-ase), Jmol's element
// colours, by
//   /usr/bin/python3 -c "from ase.data.colors import jmol_colors;
//                        from ase.data import chemical_symbols; ..."
// printing (symbol, colour) for Z = 1..109, rounded to 3 decimals.
// clang-format off
const Element kElements[] = {
    {"H", {1.000f, 1.000f, 1.000f}},
    {"He", {0.851f, 1.000f, 1.000f}},
    {"Li", {0.800f, 0.502f, 1.000f}},
    {"Be", {0.761f, 1.000f, 0.000f}},
    {"B", {1.000f, 0.710f, 0.710f}},
    {"C", {0.565f, 0.565f, 0.565f}},
    {"N", {0.188f, 0.314f, 0.973f}},
    {"O", {1.000f, 0.051f, 0.051f}},
    {"F", {0.565f, 0.878f, 0.314f}},
    {"Ne", {0.702f, 0.890f, 0.961f}},
    {"Na", {0.671f, 0.361f, 0.949f}},
    {"Mg", {0.541f, 1.000f, 0.000f}},
    {"Al", {0.749f, 0.651f, 0.651f}},
    {"Si", {0.941f, 0.784f, 0.627f}},
    {"P", {1.000f, 0.502f, 0.000f}},
    {"S", {1.000f, 1.000f, 0.188f}},
    {"Cl", {0.122f, 0.941f, 0.122f}},
    {"Ar", {0.502f, 0.820f, 0.890f}},
    {"K", {0.561f, 0.251f, 0.831f}},
    {"Ca", {0.239f, 1.000f, 0.000f}},
    {"Sc", {0.902f, 0.902f, 0.902f}},
    {"Ti", {0.749f, 0.761f, 0.780f}},
    {"V", {0.651f, 0.651f, 0.671f}},
    {"Cr", {0.541f, 0.600f, 0.780f}},
    {"Mn", {0.612f, 0.478f, 0.780f}},
    {"Fe", {0.878f, 0.400f, 0.200f}},
    {"Co", {0.941f, 0.565f, 0.627f}},
    {"Ni", {0.314f, 0.816f, 0.314f}},
    {"Cu", {0.784f, 0.502f, 0.200f}},
    {"Zn", {0.490f, 0.502f, 0.690f}},
    {"Ga", {0.761f, 0.561f, 0.561f}},
    {"Ge", {0.400f, 0.561f, 0.561f}},
    {"As", {0.741f, 0.502f, 0.890f}},
    {"Se", {1.000f, 0.631f, 0.000f}},
    {"Br", {0.651f, 0.161f, 0.161f}},
    {"Kr", {0.361f, 0.722f, 0.820f}},
    {"Rb", {0.439f, 0.180f, 0.690f}},
    {"Sr", {0.000f, 1.000f, 0.000f}},
    {"Y", {0.580f, 1.000f, 1.000f}},
    {"Zr", {0.580f, 0.878f, 0.878f}},
    {"Nb", {0.451f, 0.761f, 0.788f}},
    {"Mo", {0.329f, 0.710f, 0.710f}},
    {"Tc", {0.231f, 0.620f, 0.620f}},
    {"Ru", {0.141f, 0.561f, 0.561f}},
    {"Rh", {0.039f, 0.490f, 0.549f}},
    {"Pd", {0.000f, 0.412f, 0.522f}},
    {"Ag", {0.753f, 0.753f, 0.753f}},
    {"Cd", {1.000f, 0.851f, 0.561f}},
    {"In", {0.651f, 0.459f, 0.451f}},
    {"Sn", {0.400f, 0.502f, 0.502f}},
    {"Sb", {0.620f, 0.388f, 0.710f}},
    {"Te", {0.831f, 0.478f, 0.000f}},
    {"I", {0.580f, 0.000f, 0.580f}},
    {"Xe", {0.259f, 0.620f, 0.690f}},
    {"Cs", {0.341f, 0.090f, 0.561f}},
    {"Ba", {0.000f, 0.788f, 0.000f}},
    {"La", {0.439f, 0.831f, 1.000f}},
    {"Ce", {1.000f, 1.000f, 0.780f}},
    {"Pr", {0.851f, 1.000f, 0.780f}},
    {"Nd", {0.780f, 1.000f, 0.780f}},
    {"Pm", {0.639f, 1.000f, 0.780f}},
    {"Sm", {0.561f, 1.000f, 0.780f}},
    {"Eu", {0.380f, 1.000f, 0.780f}},
    {"Gd", {0.271f, 1.000f, 0.780f}},
    {"Tb", {0.188f, 1.000f, 0.780f}},
    {"Dy", {0.122f, 1.000f, 0.780f}},
    {"Ho", {0.000f, 1.000f, 0.612f}},
    {"Er", {0.000f, 0.902f, 0.459f}},
    {"Tm", {0.000f, 0.831f, 0.322f}},
    {"Yb", {0.000f, 0.749f, 0.220f}},
    {"Lu", {0.000f, 0.671f, 0.141f}},
    {"Hf", {0.302f, 0.761f, 1.000f}},
    {"Ta", {0.302f, 0.651f, 1.000f}},
    {"W", {0.129f, 0.580f, 0.839f}},
    {"Re", {0.149f, 0.490f, 0.671f}},
    {"Os", {0.149f, 0.400f, 0.588f}},
    {"Ir", {0.090f, 0.329f, 0.529f}},
    {"Pt", {0.816f, 0.816f, 0.878f}},
    {"Au", {1.000f, 0.820f, 0.137f}},
    {"Hg", {0.722f, 0.722f, 0.816f}},
    {"Tl", {0.651f, 0.329f, 0.302f}},
    {"Pb", {0.341f, 0.349f, 0.380f}},
    {"Bi", {0.620f, 0.310f, 0.710f}},
    {"Po", {0.671f, 0.361f, 0.000f}},
    {"At", {0.459f, 0.310f, 0.271f}},
    {"Rn", {0.259f, 0.510f, 0.588f}},
    {"Fr", {0.259f, 0.000f, 0.400f}},
    {"Ra", {0.000f, 0.490f, 0.000f}},
    {"Ac", {0.439f, 0.671f, 0.980f}},
    {"Th", {0.000f, 0.729f, 1.000f}},
    {"Pa", {0.000f, 0.631f, 1.000f}},
    {"U", {0.000f, 0.561f, 1.000f}},
    {"Np", {0.000f, 0.502f, 1.000f}},
    {"Pu", {0.000f, 0.420f, 1.000f}},
    {"Am", {0.329f, 0.361f, 0.949f}},
    {"Cm", {0.471f, 0.361f, 0.890f}},
    {"Bk", {0.541f, 0.310f, 0.890f}},
    {"Cf", {0.631f, 0.212f, 0.831f}},
    {"Es", {0.702f, 0.122f, 0.831f}},
    {"Fm", {0.702f, 0.122f, 0.729f}},
    {"Md", {0.702f, 0.051f, 0.651f}},
    {"No", {0.741f, 0.051f, 0.529f}},
    {"Lr", {0.780f, 0.000f, 0.400f}},
    {"Rf", {0.800f, 0.000f, 0.349f}},
    {"Db", {0.820f, 0.000f, 0.310f}},
    {"Sg", {0.851f, 0.000f, 0.271f}},
    {"Bh", {0.878f, 0.000f, 0.220f}},
    {"Hs", {0.902f, 0.000f, 0.180f}},
    {"Mt", {0.922f, 0.000f, 0.149f}},
};
// clang-format on

// Ten colours far apart in hue and lightness, from the qualitative palette
// plotting tools use for categories (matplotlib's "tab10").
const float kPalette[kTypeColours][3] = {{0.122f, 0.467f, 0.706f}, {1.000f, 0.498f, 0.055f},
                                         {0.173f, 0.627f, 0.173f}, {0.839f, 0.153f, 0.157f},
                                         {0.580f, 0.404f, 0.741f}, {0.549f, 0.337f, 0.294f},
                                         {0.890f, 0.467f, 0.761f}, {0.498f, 0.498f, 0.498f},
                                         {0.737f, 0.741f, 0.133f}, {0.090f, 0.745f, 0.812f}};

} // namespace

bool element_colour(const std::string &symbol, float rgb[3]) {
    for (const Element &e : kElements)
        if (symbol == e.symbol) {
            std::memcpy(rgb, e.rgb, sizeof e.rgb);
            return true;
        }
    return false;
}

void type_colour(std::int32_t type, float rgb[3]) {
    // Types count from 1 in LAMMPS; the wide type keeps INT32_MIN - 1 exact.
    const std::int64_t t = static_cast<std::int64_t>(type) - 1;
    const std::int64_t i = ((t % kTypeColours) + kTypeColours) % kTypeColours;
    std::memcpy(rgb, kPalette[i], sizeof kPalette[i]);
}

} // namespace vv
