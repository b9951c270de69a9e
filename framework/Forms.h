// The window layer in one include: the application, the form and every control class.
#pragma once

#include "Application.h"
#include "BitBtn.h"
#include "Button.h"
#include "Edit.h"
#include "Form.h"
#include "GroupBox.h"
#include "Label.h"
#include "ProgressBar.h"
#include "RadioGroup.h"
