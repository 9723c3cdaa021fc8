#pragma once
// Least-squares polynomials for the synchronisation calibrations. A polynomial is its
// coefficients, constant term first.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvvandrel {

// Fits the degree-d polynomial to n point pairs by Givens QR of the Vandermonde matrix and
// writes its d + 1 coefficients to `out`. Nothing is reported: a singular system gives
// infinite or NaN coefficients. Fewer points than coefficients (or a negative n) leave the
// missing rows zero, which is such a system.
void polyfit(const double* x, const double* y, std::int32_t n, double* out, std::uint32_t d);

// polyfit's QR step on a row-major rows × columns matrix and its right-hand side: Givens
// rotations clear the entries below the diagonal column by column, top to bottom; an entry
// that is 0.0 already is left without a rotation.
void triangularise(double* a, double* b, std::size_t rows, std::size_t columns);

// The d + 1 coefficients fitted over the pairs both vectors hold.
std::vector<double> fitPolynomial(const std::vector<double>& x, const std::vector<double>& y,
                                  std::uint32_t d);

// Maximum minus minimum; 0.0 for an empty range.
double computeSpan(const double* begin, const double* end);

// c[0] + c[1]·x + ... with each power from pow(x, i), as the calibrations evaluate their
// polynomials (pow(0, 0) is 1); 0.0 for an empty polynomial.
double evaluatePolynomial(const std::vector<double>& coefficients, double x);

}  // namespace qvvandrel
