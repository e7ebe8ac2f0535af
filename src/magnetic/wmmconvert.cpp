// wmmconvert IN.COF OUT_FOLDER NAME: turns a World Magnetic Model coefficient
// file in NOAA's layout (a header line, then "n m g h dg dh" lines in nT and
// nT per year, closed by lines of nines) into the two files GeographicLib's
// MagneticModel reads: NAME.wmm, the model's description, and NAME.wmm.cof,
// its coefficients as little-endian doubles. Runs at build time.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Coefficients {
    int degree = 0;
    // g, h, dg, dh by [n][m], Schmidt semi-normalised, nT and nT per year.
    std::vector<std::vector<double>> g, h, dg, dh;
};

bool read(const char *path, Coefficients &c, double &epoch, std::string &name, std::string &released)
{
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line))
        return false;
    std::istringstream header(line);
    if (!(header >> epoch >> name >> released))
        return false;
    constexpr int most = 12;
    for (auto *table : {&c.g, &c.h, &c.dg, &c.dh})
        table->assign(most + 1, std::vector<double>(most + 1, 0.0));
    while (std::getline(in, line)) {
        if (line.rfind("9999", 0) == 0)
            return c.degree > 0;
        std::istringstream fields(line);
        int n, m;
        double g, h, dg, dh;
        if (!(fields >> n >> m >> g >> h >> dg >> dh) || n < 1 || n > most || m < 0 || m > n)
            return false;
        c.g[n][m] = g;
        c.h[n][m] = h;
        c.dg[n][m] = dg;
        c.dh[n][m] = dh;
        c.degree = std::max(c.degree, n);
    }
    return false;
}

void put(std::ofstream &out, std::int32_t value)
{
    for (int k = 0; k < 4; k++)
        out.put(char((std::uint32_t(value) >> (8 * k)) & 0xff));
}

void put(std::ofstream &out, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int k = 0; k < 8; k++)
        out.put(char((bits >> (8 * k)) & 0xff));
}

// One set of coefficients: N, M, then the cosine terms by column (m), n
// from m to N, then the sine terms likewise from m = 1.
void putSet(std::ofstream &out, int degree, const std::vector<std::vector<double>> &cosine,
            const std::vector<std::vector<double>> &sine)
{
    put(out, std::int32_t(degree));
    put(out, std::int32_t(degree));
    for (int m = 0; m <= degree; m++)
        for (int n = m; n <= degree; n++)
            put(out, cosine[n][m]);
    for (int m = 1; m <= degree; m++)
        for (int n = m; n <= degree; n++)
            put(out, sine[n][m]);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: wmmconvert IN.COF OUT_FOLDER NAME\n";
        return 64;
    }
    Coefficients c;
    double epoch = 0;
    std::string model, released;
    if (!read(argv[1], c, epoch, model, released)) {
        std::cerr << argv[1] << ": not a coefficient file in NOAA's layout\n";
        return 1;
    }
    const std::string base = std::string(argv[2]) + "/" + argv[3] + ".wmm";
    // "WMM-2025" is named WMM2025; the ID ties the two files together:
    // eight printable characters.
    std::string name = model;
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    const std::string id = (model + "-A-------").substr(0, 8);
    std::ofstream description(base);
    description << "WMMF-2\n"
                << "# Made by Tavrin's wmmconvert from NOAA's " << argv[1] << "\n"
                << "Name            " << name << "\n"
                << "Description     World Magnetic Model " << model << "\n"
                << "ReleaseDate     " << released << "\n"
                << "Radius          6371200\n"
                << "NumModels       1\n"
                << "Epoch           " << epoch << "\n"
                << "MinTime         " << epoch << "\n"
                << "MaxTime         " << epoch + 5 << "\n"
                << "MinHeight       -1000\n"
                << "MaxHeight       850000\n"
                << "Normalization   schmidt\n"
                << "ID              " << id << "\n";
    std::ofstream coefficients(base + ".cof", std::ios::binary);
    coefficients.write(id.data(), 8);
    putSet(coefficients, c.degree, c.g, c.h);
    putSet(coefficients, c.degree, c.dg, c.dh);
    if (!description || !coefficients) {
        std::cerr << base << ": cannot be written\n";
        return 1;
    }
    return 0;
}
