#include "admin_client.h"
