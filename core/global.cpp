#include "global.h"

#include "sharedsegment.h"

QString Global::vmName;
std::atomic_bool appQuittingFlag{false};

SharedSegment &Global::instanceSegment()
{
    static SharedSegment segment;
    return segment;
}
