#pragma once

#include "upper/Above.h"
