#include "clocks/Polyfit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace qvvandrel {

void triangularise(double* a, double* b, std::size_t rows, std::size_t columns) {
  auto at = [&](std::size_t i, std::size_t j) -> double& { return a[i * columns + j]; };
  for (std::size_t j = 0; j < columns; ++j) {
    for (std::size_t i = j + 1; i < rows; ++i) {
      const double e = at(i, j);
      if (e == 0.0) continue;
      const double diagonal = at(j, j);
      const double r = std::fabs(diagonal) > std::fabs(e)
                           ? std::fabs(diagonal) * std::sqrt(1.0 + (e / diagonal) * (e / diagonal))
                           : std::fabs(e) * std::sqrt(1.0 + (diagonal / e) * (diagonal / e));
      const double q = 1.0 / r;
      const double co = diagonal * q;
      const double si = e * q;
      at(j, j) = r;
      at(i, j) = 0.0;
      for (std::size_t k = j + 1; k < columns; ++k) {
        const double upper = at(j, k);
        const double lower = at(i, k);
        at(j, k) = si * lower + co * upper;
        at(i, k) = co * lower - si * upper;
      }
      const double upper = b[j];
      const double lower = b[i];
      b[j] = si * lower + co * upper;
      b[i] = co * lower - si * upper;
    }
  }
}

void polyfit(const double* x, const double* y, std::int32_t n, double* out, std::uint32_t d) {
  const std::size_t m = std::size_t{d} + 1;
  const std::size_t points = n > 0 ? static_cast<std::size_t>(n) : 0;
  // The back substitution reads m rows; rows without a point stay zero.
  const std::size_t rows = std::max(points, m);
  std::vector<double> a(rows * m, 0.0);
  std::vector<double> b(rows, 0.0);
  auto at = [&](std::size_t i, std::size_t j) -> double& { return a[i * m + j]; };

  for (std::size_t i = 0; i < points; ++i) {
    b[i] = y[i];
    at(i, 0) = 1.0;
    for (std::size_t j = 1; j < m; ++j) at(i, j) = at(i, j - 1) * x[i];
  }

  triangularise(a.data(), b.data(), rows, m);

  for (std::size_t k = m; k-- > 0;) {
    double sum = 0.0;
    for (std::size_t l = k + 1; l < m; ++l) sum += at(k, l) * out[l];
    out[k] = (b[k] - sum) / at(k, k);
  }
}

std::vector<double> fitPolynomial(const std::vector<double>& x, const std::vector<double>& y,
                                  std::uint32_t d) {
  std::vector<double> coefficients(std::size_t{d} + 1, 0.0);
  const std::size_t pairs =
      std::min({x.size(), y.size(), std::size_t{std::numeric_limits<std::int32_t>::max()}});
  polyfit(x.data(), y.data(), static_cast<std::int32_t>(pairs), coefficients.data(), d);
  return coefficients;
}

double computeSpan(const double* begin, const double* end) {
  if (begin == end) return 0.0;
  double maximum = *begin;
  for (const double* p = begin; p != end; ++p)
    if (*p > maximum) maximum = *p;
  double minimum = *begin;
  for (const double* p = begin; p != end; ++p)
    if (*p < minimum) minimum = *p;
  return maximum - minimum;
}

double evaluatePolynomial(const std::vector<double>& coefficients, double x) {
  double sum = 0.0;
  for (std::size_t i = 0; i < coefficients.size(); ++i)
    sum += coefficients[i] * std::pow(x, static_cast<double>(i));
  return sum;
}

}  // namespace qvvandrel
