#include "object_id.h"
