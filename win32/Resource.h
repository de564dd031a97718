#pragma once

// Resource identifiers shared by resources/moonglow.rc and the front end.

// The saver's name in the system's list of screen savers.
#define IDS_DESCRIPTION 1

#define IDI_MOONGLOW 100

// The options dialog's frame; its controls are made from the dialog table.
#define IDD_OPTDIALOG 200
// A page of the tabbed control, one per shell kind.
#define IDD_OPTPAGE 201
