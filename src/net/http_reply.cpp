#include "net/http_reply.h"
