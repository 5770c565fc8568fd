#include "id_list.h"
