#include "camera/CamIdList.h"

CamIdList::CamIdList()
    : idRows{
	      {"KBA", "NX-B93K"}, // default model: row 0
	      {"None", "NX-HX7"}, // the HX7 is recognised without a code
	      {"543", "NX-ZQ418"}, {"610", "NX-ZQ418S"}, {"KDA", "NX-D26G"}, {"KDB", "NX-D26GS"}, {"KDC", "NX-D28G"},
	      {"KDD", "NX-HX9"},   {"KDE", "NX-D28G4K"}, {"KJA", "NX-J57"},  {"KJB", "NX-J57S"},  {"KJC", "NX-J57U"},
	      {"KJD", "NX-J20"},   {"KJE", "NX-J30"},    {"KWA", "NX-W38B"}, {"KWB", "NX-W38BS"}, {"KWC", "NX-W20"},
	      {"KWD", "NX-W12"},   {"KBB", "NX-B93"},    {"KBC", "NX-B60"},  {"KBD", "NX-B60K"},  {"KBE", "NX-B30"},
	      {"KFA", "NX-F64"},   {"KFB", "NX-F64K"},   {"KHA", "NX-H12"},  {"KHB", "NX-H20"},
      }
{
}
