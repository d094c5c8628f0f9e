#include "net/dns_message.h"
