#include "fake_fixture.h"
