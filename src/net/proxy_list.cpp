#include "net/proxy_list.h"
