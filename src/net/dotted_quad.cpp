#include "net/dotted_quad.h"
