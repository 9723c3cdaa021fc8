// The least-squares fit against exact points and against the normal equations solved in long
// double.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "clocks/Polyfit.h"

namespace {

using qvvandrel::fitPolynomial;

TEST(PolyfitTest, ExactPointsComeBackAndTheShorterVectorDecides) {
  const std::vector<double> x{-2, -1, 0, 0.5, 1, 2, 3, 4.5};
  std::vector<double> y;
  for (double v : x) y.push_back(1 + 2 * v - v * v);
  const double truth[] = {1, 2, -1, 0, 0, 0};
  for (unsigned degree : {2u, 5u}) {
    const std::vector<double> c = fitPolynomial(x, y, degree);
    ASSERT_EQ(c.size(), degree + 1);
    for (unsigned k = 0; k <= degree; ++k) EXPECT_NEAR(c[k], truth[k], 1e-9) << degree << k;
  }
  // The fourth abscissa has no ordinate: the line through three points of 1 + 2x.
  const std::vector<double> line = fitPolynomial({0, 1, 2, 100}, {1, 3, 5}, 1);
  EXPECT_NEAR(line[0], 1.0, 1e-12);
  EXPECT_NEAR(line[1], 2.0, 1e-12);
  // Fewer points than coefficients: a singular system, never a read past the matrix.
  const std::vector<double> singular = fitPolynomial({1, 2}, {1, 2}, 4);
  ASSERT_EQ(singular.size(), 5u);
  EXPECT_FALSE(std::isfinite(singular[4]));
}

TEST(PolyfitTest, AZeroEntryIsNoRotationAndTheSpanIsMaximumLessMinimum) {
  // A rotation of a zero entry would flip the signs of the rows with a negative diagonal.
  std::vector<double> a{-2, 1, 3, 0, -4, 5, 0, 0, 6, 0, 0, 0};
  std::vector<double> b{1, 2, 3, 4};
  const std::vector<double> before = a, rightBefore = b;
  qvvandrel::triangularise(a.data(), b.data(), 4, 3);
  EXPECT_EQ(a, before);
  EXPECT_EQ(b, rightBefore);

  const double values[] = {3, -1, 2};
  EXPECT_EQ(qvvandrel::computeSpan(values, values + 3), 4.0);
  EXPECT_EQ(qvvandrel::computeSpan(values, values + 1), 0.0);
  EXPECT_EQ(qvvandrel::computeSpan(values, values), 0.0);
}

TEST(PolyfitTest, RandomWellConditionedFitsAgreeWithTheNormalEquations) {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int trial = 0; trial < 40; ++trial) {
    const size_t m = 2 + trial % 6, points = m + 1 + static_cast<size_t>(trial) * 3;
    std::vector<double> truth(m), x, y;
    for (double& c : truth) c = unit(random) * 5;
    for (size_t i = 0; i < points; ++i) {
      x.push_back(unit(random));
      y.push_back(qvvandrel::evaluatePolynomial(truth, x.back()) + 0.01 * unit(random));
    }
    // AᵀA c = Aᵀy by Gaussian elimination with partial pivoting.
    std::vector<std::vector<long double>> n(m, std::vector<long double>(m + 1, 0.0L));
    for (size_t i = 0; i < points; ++i) {
      std::vector<long double> row(m, 1.0L);
      for (size_t j = 1; j < m; ++j) row[j] = row[j - 1] * x[i];
      for (size_t r = 0; r < m; ++r) {
        for (size_t c = 0; c < m; ++c) n[r][c] += row[r] * row[c];
        n[r][m] += row[r] * y[i];
      }
    }
    for (size_t col = 0; col < m; ++col) {
      size_t pivot = col;
      for (size_t r = col + 1; r < m; ++r)
        if (std::fabs(n[r][col]) > std::fabs(n[pivot][col])) pivot = r;
      std::swap(n[col], n[pivot]);
      for (size_t r = col + 1; r < m; ++r)
        for (size_t c = m + 1; c-- > col;) n[r][c] -= n[r][col] / n[col][col] * n[col][c];
    }
    std::vector<long double> reference(m);
    for (size_t k = m; k-- > 0;) {
      long double sum = n[k][m];
      for (size_t l = k + 1; l < m; ++l) sum -= n[k][l] * reference[l];
      reference[k] = sum / n[k][k];
    }
    const std::vector<double> fitted = fitPolynomial(x, y, static_cast<unsigned>(m - 1));
    for (size_t k = 0; k < m; ++k)
      EXPECT_NEAR(fitted[k], static_cast<double>(reference[k]), 1e-8 * (1 + std::fabs(fitted[k])))
          << "trial " << trial << " coefficient " << k;
  }
}

}  // namespace
