#include "support/AppTest.h"
