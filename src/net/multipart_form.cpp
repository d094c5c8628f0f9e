#include "net/multipart_form.h"
