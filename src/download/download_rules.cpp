#include "download/download_rules.h"
