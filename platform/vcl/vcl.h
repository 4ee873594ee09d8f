// The window platform: everything a window unit uses.
#pragma once

#include "form_description.h"
#include "vcl_classes.h"
#include "vcl_controls.h"
#include "vcl_forms.h"
#include "vcl_skin.h"
#include "vcl_string.h"
#include "vcl_sysutils.h"
