// Higher-order encoding of the 12- and 20-point virtual layouts against SN3D harmonics.
#include "ox_hoa.h"
#include "ox_test_util.h"

using namespace oxtest;

// Real SN3D harmonic of degree n, order m, without the Condon-Shortley phase (as assoc_legendre).
static double sn3d(int n, int m, const std::array<double, 3>& u)
{
    const int am = std::abs(m);
    double norm = m == 0 ? 1.0 : 2.0; // (2 - delta_m0) (n - |m|)! / (n + |m|)!
    for (int k = n - am + 1; k <= n + am; k++) norm /= k;
    const double az = std::atan2(u[1], u[0]);
    return std::sqrt(norm) * std::assoc_legendre(unsigned(n), unsigned(am), u[2]) *
           (m >= 0 ? std::cos(am * az) : std::sin(am * az));
}

// Layout directions as listed for the two virtual layouts: icosahedron and dodecahedron.
static std::vector<std::array<double, 3>> layout(int order)
{
    const double phi = (1.0 + std::sqrt(5.0)) / 2.0;
    const double a = order == 2 ? 1.0 / std::sqrt(1.0 + phi * phi) : 1.0 / (phi * std::sqrt(3.0));
    const double b = order == 2 ? phi * a : phi / std::sqrt(3.0), g = 1.0 / std::sqrt(3.0);
    std::vector<std::array<double, 3>> u;
    for (int i = 0; i < 8 && order == 3; ++i)
        u.push_back({i & 4 ? -g : g, i & 2 ? -g : g, i & 1 ? -g : g});
    for (int i = 0; i < 4; ++i) u.push_back({0, i & 2 ? -a : a, i & 1 ? -b : b});
    for (int i = 0; i < 4; ++i) u.push_back({i & 2 ? -a : a, i & 1 ? -b : b, 0});
    for (int i = 0; i < 4; ++i) u.push_back({i & 2 ? -b : b, 0, i & 1 ? -a : a});
    return u;
}

struct Hoa
{
    ox_hoa_cfg cfg;
    ox_hoa_params p;
    ox_hoa_state s;
    int mics;
    std::vector<std::vector<float>> buf;
    std::vector<float*> ptr;
    Hoa(int order, int len, int mode)
        : mics(order == 2 ? 12 : 20), buf(mics, std::vector<float>(len))
    {
        ox_hoa_default_cfg(&cfg);
        cfg.mode = mode;
        EXPECT_EQ(ox_hoa_alloc(&p, &s, mics, len, order), 0);
        EXPECT_EQ(ox_hoa_init(&p, &s, &cfg, mics, len, order), 0);
        for (auto& b : buf) ptr.push_back(b.data());
    }
    void run() { ox_hoa_process_frame(&p, &s, nullptr, ptr.data()); }
};

// Impulses give the matrix (ending off the chunk grid): matrix x harmonics = diag(weights); FuMa
// mode gives the same rows in the order W X Y Z R S T U V K L M N O P Q.
TEST(Hoa, EncoderTimesHarmonicsIsDiagonalOfWeights)
{
    const double weights[2][4] = {{3, 2, 6, 0}, {4, 20.0 / 9.0, 4, 20}};
    const int acn_of_fuma[16] = {0, 3, 1, 2, 6, 7, 5, 8, 4, 12, 13, 11, 14, 10, 15, 9};
    for (int order : {2, 3})
    {
        SCOPED_TRACE(order);
        const int len = 203, rows = (order + 1) * (order + 1);
        Hoa h(order, len, OX_HOA_ACN), fuma(order, len, 0);
        const int off = len - h.mics;
        for (int m = 0; m < h.mics; m++) h.buf[m][off + m] = fuma.buf[m][off + m] = 1.0f;
        h.run();
        fuma.run();
        const auto u = layout(order);
        double worst = 0.0;
        for (int r = 0; r < rows; r++)
            for (int r2 = 0; r2 < rows; r2++)
            {
                const int n = int(std::sqrt(r)), n2 = int(std::sqrt(r2));
                double s = 0.0;
                for (int k = 0; k < h.mics; k++)
                    s += h.buf[r][off + k] * sn3d(n2, r2 - n2 * n2 - n2, u[k]);
                // Relative to the weight: a weight-20 row's float table is good to 1e-6 absolute.
                worst = std::max(worst, std::fabs(s / weights[order - 2][n] - (r == r2)));
            }
        EXPECT_LT(worst, 1e-6);
        for (int r = 0; r < rows; r++) EXPECT_EQ(fuma.buf[r], h.buf[acn_of_fuma[r]]) << r;
        for (int m = rows; m < h.mics; m++) EXPECT_EQ(h.buf[m], std::vector<float>(len, 0.0f)) << m;
    }
}

// Copy mode spreads the first input over the others; bad set-ups are refused and process nothing.
TEST(Hoa, CopyModeAndInvalidSetups)
{
    Hoa h(2, 32, OX_HOA_COPY);
    ox_hoa_params p{};
    ox_hoa_state s{};
    EXPECT_EQ(ox_hoa_alloc(&p, &s, 0, 480, 2), -3);
    const int bad[][3] = {{12, 480, 4}, {12, 0, 2}, {33, 480, 3}, {20, 480, 2}, {16, 8, 3}};
    for (const auto& b : bad) EXPECT_EQ(ox_hoa_init(&p, &s, &h.cfg, b[0], b[1], b[2]), -3);
    const std::vector<float> src = noise(32, 9), half(32, 0.5f);
    for (auto& b : h.buf) std::fill(b.begin(), b.end(), 0.5f);
    // Twelve buffers for the last refused set-up (16 inputs, a 20-column table): left alone.
    ox_hoa_process_frame(&p, &s, nullptr, h.ptr.data());
    EXPECT_EQ(h.buf, std::vector<std::vector<float>>(12, half));
    const float* in[1] = {src.data()};
    ox_hoa_process_frame(&h.p, &h.s, in, h.ptr.data());
    EXPECT_EQ(h.buf[0], half);
    for (int m = 1; m < 12; m++) EXPECT_EQ(h.buf[m], src);
}
