#include "timeoutscale.h"

#include <QString>

#include <cmath>

namespace TimeoutScale {

double factor()
{
    bool ok = false;
    const double value = qEnvironmentVariable("ORV_TIMEOUT_SCALE").toDouble(&ok);
    return ok && value > 0.0 && value <= 1.0 ? value : 1.0;
}

int ms(int productionMs)
{
    const double scaled = std::lround(productionMs * factor());
    return scaled < 1.0 ? 1 : static_cast<int>(scaled);
}

} // namespace TimeoutScale
