#include "ads/testing/fake_sdk_core.h"
