/* Kernel interface stand-in: everything lives in kstub_defs.h. */
#include "../../kstub_defs.h"
