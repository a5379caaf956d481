#pragma once

#include "lower/Open.h"
#include "upper/Above.h"
