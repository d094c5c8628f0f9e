#include "net/multipart_form.h"

#include <gtest/gtest.h>
