/* Resource identifiers of KestroConfigure.exe and the first control
 * identifier of the Win32 Form1 (GetDlgCtrlID). Plain C, so the resource
 * script and the test driver share it. */
#ifndef KESTRO_UTILITY_WIN32_FORM1_IDS_H
#define KESTRO_UTILITY_WIN32_FORM1_IDS_H

#define IDI_PROGRAM 1  /* the program icon */
#define IDB_BANNER 101 /* Image1's picture, 300 x 130, 24-bit */

/* Control identifier of row n of the window's design: this plus n. */
#define ID_FIRST_CONTROL 1001

/* Window classes of the main window and of the frame that holds the card
 * display. */
#define KESTRO_FORM1_CLASS "KestroConfigureForm1"
#define KESTRO_FRAME_CLASS "KestroConfigureFrame"

/* Registered window message that makes the window write a description of
 * its controls (fonts, colours) to the file named by the environment
 * variable KESTRO_UI_DESCRIBE; answered with 1 when written. Only honoured
 * when that variable is set at start-up. */
#define KESTRO_DESCRIBE_MESSAGE "KestroConfigure.Describe"
#define KESTRO_DESCRIBE_ENV "KESTRO_UI_DESCRIBE"

#endif
