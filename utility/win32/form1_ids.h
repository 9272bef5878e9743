/* Control identifiers of the Win32 Form1 (GetDlgCtrlID), and resource
 * identifiers of KestroConfigure.exe. Plain C, so the resource script and
 * the test driver share it; an element n of a control array has its base
 * identifier plus n. */
#ifndef KESTRO_UTILITY_WIN32_FORM1_IDS_H
#define KESTRO_UTILITY_WIN32_FORM1_IDS_H

#define IDI_PROGRAM 1  /* the program icon */
#define IDB_BANNER 101 /* Image1's picture, 300 x 130, 24-bit */

#define ID_IMAGE1 1001
#define ID_LABEL5 1002
#define ID_TXTMSRTYPE 1003
#define ID_LABEL1 1004
#define ID_COMBOMSRTYPE2 1005
#define ID_CMDEXIT 1006
#define ID_CMDHELP 1007
#define ID_CMDCHANGEMODE 1008
#define ID_FRAME1 1009
#define ID_LSTRESULTS 1010
#define ID_CMDCLEARLOG 1011
#define ID_LABEL3 1020 /* + track - 1 */
#define ID_CHKSTATUSOK 1030
#define ID_LABEL4 1040
#define ID_TXTTRACKLENGHT 1050
#define ID_CMDCLEARCARD 1060
#define ID_LBLBRUSHTIMES 1061
#define ID_TXTCARDDATA 1062
#define ID_LSTCARDDATA 1063

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
