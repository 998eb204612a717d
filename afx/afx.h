// The class-library layer in one include.
#pragma once
#include "afxexc.h"
#include "afxstr.h"
#include "afxmt.h"
#include "afxfile.h"
#include "afxapp.h"
#include "afxwin.h"
