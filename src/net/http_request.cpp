#include "net/http_request.h"
