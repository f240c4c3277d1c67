#include <gtest/gtest.h>

#include "probe_core.h"
