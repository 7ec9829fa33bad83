#pragma once

// Time-outs of minutes stay as they are in production. A test may shrink all of them at once with the
// environment variable ORV_TIMEOUT_SCALE, a factor between 0 and 1 (for example 0.01); any other value,
// or none, leaves them unchanged.
namespace TimeoutScale {

double factor();
// `productionMs` scaled by the factor, at least 1 ms.
int ms(int productionMs);

} // namespace TimeoutScale
