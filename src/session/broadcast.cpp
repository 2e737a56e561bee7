#include "session/broadcast.h"
