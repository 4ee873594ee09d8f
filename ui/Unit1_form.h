// The main window's form description: every control with its design-time properties.
#pragma once

#include "form_description.h"

extern const TFormDescription Form1Description;
