#pragma once
// Services of the generated-source lowering that the model calls: the function context
// of code read outside any function, and the GC property-visit function of a class.
#include "model/records.h"
#include "lower/generated.h"
