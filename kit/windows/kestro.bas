Attribute VB_Name = "Kestro"
' Declarations of kestro.dll, the USB magnetic-stripe card reader library,
' for Visual Basic 6 and VBA. Put kestro.dll beside the program (or the
' document) or on the PATH; 32-bit Office and VB6 use the 32-bit kestro.dll,
' 64-bit Office the 64-bit one.
'
' Every function returns a Long (32 bits), 0 for success. Integers are
' passed ByVal As Long. Buffers are Byte arrays that the caller sizes and
' passes by their first element, ByRef:
'
'     Dim card(0 To MR_READ_BUF_LEN - 1) As Byte
'     SetID MR_PID_IDTECH
'     If OpenKestro() = 0 Then
'         If ReadData(card(0), 5000, 0) = 0 Then
'             n = card(0) + 256& * card(1)   ' report length, then the report
'         End If
'     End If
'     CloseKestro
'
' Buffer sizes: ReadData and ReadData1 write MR_READ_BUF_LEN (1024) bytes;
' GetMrState writes MR_FEATURE_LEN (25); SetMrStateEx and SetMrStateBuf
' read MR_STATE_LEN (7); RetrieveStatistics writes at most len bytes (give
' len <= the array's size); UpdateStatistics reads len (at most
' MR_STAT_UPDATE_MAX, 21). A smaller array lets the library write past its
' end.
'
' One session per process, called from one thread. The trace goes to
' \kestro.log in the root of the current drive, only if that file exists.
Option Explicit

' USB vendor id and the product ids of the reader's three modes.
Public Const MR_VID As Long = &H3E7A
Public Const MR_PID_KEYBOARD As Long = &H500
Public Const MR_PID_IDTECH As Long = &H5A0
Public Const MR_PID_MAGTEK As Long = &H5B0

' Buffer and report sizes, in bytes.
Public Const MR_FEATURE_LEN As Long = 25
Public Const MR_FEATURE_LEN_SHORT As Long = 10
Public Const MR_READ_LEN As Long = 538
Public Const MR_READ_BUF_LEN As Long = 1024
Public Const MR_STATE_LEN As Long = 7

' A card in the read buffer: byte positions (track statuses 0 = read well,
' track lengths, and the first and last byte of the text in each HID mode).
Public Const MR_CARD_COUNT_AT As Long = 0
Public Const MR_CARD_REPORT_AT As Long = 2
Public Const MR_CARD_STATUS_AT As Long = 3
Public Const MR_CARD_LENGTH_AT As Long = 6
Public Const MR_CARD_TRACKS As Long = 3
Public Const MR_CARD_TEXT_FIRST_IDTECH As Long = 12
Public Const MR_CARD_TEXT_LAST_IDTECH As Long = 539
Public Const MR_CARD_TEXT_FIRST_MAGTEK As Long = 10
Public Const MR_CARD_TEXT_LAST_MAGTEK As Long = 339

' Command codes (byte 1 of the feature report).
Public Const MR_CMD_SET_STATE As Long = &HB2
Public Const MR_CMD_GET_STATE As Long = &HB3
Public Const MR_CMD_CHANGE_MODE As Long = &HBE
Public Const MR_CMD_FLUSH_COUNTER As Long = &HBF
Public Const MR_CMD_RESET_STATISTICS As Long = &HC0
Public Const MR_CMD_RETRIEVE_STATISTICS As Long = &HD0
Public Const MR_CMD_UPDATE_STATISTICS As Long = &HE0
Public Const MR_CMD_RESET As Long = &HFF
Public Const MR_RESET_MARK As Long = &HAA

' Limits: slots of a session, statistics records and their sizes.
Public Const MR_MAX_SLOTS As Long = 256
Public Const MR_STAT_MAX_INDEX As Long = 15
Public Const MR_STAT_UPDATE_MAX As Long = 21
Public Const MR_STAT_ANSWER_MAX As Long = 23

' Result codes, numbered per function as in kestro.h: 0 is success, and
' OpenKestro returns OpenUSB's codes. CloseUSB, CloseKestro and SetID
' always return 0.
Public Const KESTRO_OPEN_USB_OK As Long = 0
Public Const KESTRO_OPEN_USB_ALREADY_OPEN As Long = 1 ' nothing done
Public Const KESTRO_OPEN_USB_NO_READER As Long = 2
Public Const KESTRO_READ_DATA_OK As Long = 0 ' a report read, or a read already under way
Public Const KESTRO_READ_DATA_NO_SESSION As Long = 1
Public Const KESTRO_READ_DATA_NO_READ_HANDLE As Long = 2
Public Const KESTRO_READ_DATA_NO_CARD As Long = 3 ' nothing in time, or the read failed
Public Const KESTRO_READ_DATA1_OK As Long = 0
Public Const KESTRO_READ_DATA1_NO_SESSION As Long = 1
Public Const KESTRO_READ_DATA1_FAILED As Long = 2 ' no slot for the product id, or the read failed
Public Const KESTRO_SET_MR_STATE_EX_OK As Long = 0
Public Const KESTRO_SET_MR_STATE_EX_NO_SESSION As Long = 4
Public Const KESTRO_SET_MR_STATE_EX_REJECTED As Long = 5 ' or no matching reader
Public Const KESTRO_SET_MR_STATE_BUF_OK As Long = 0
Public Const KESTRO_SET_MR_STATE_BUF_NO_SESSION As Long = 1
Public Const KESTRO_SET_MR_STATE_BUF_REJECTED As Long = 5
Public Const KESTRO_SET_MR_STATE_OK As Long = 0
Public Const KESTRO_SET_MR_STATE_NO_SESSION As Long = 1
Public Const KESTRO_SET_MR_STATE_NO_PROFILE As Long = 2 ' neither msr.ini nor torvanexmsr.ini
Public Const KESTRO_SET_MR_STATE_REJECTED As Long = 5
Public Const KESTRO_GET_MR_STATE_OK As Long = 0
Public Const KESTRO_GET_MR_STATE_NO_SESSION As Long = 1
Public Const KESTRO_GET_MR_STATE_NO_ANSWER As Long = 3
Public Const KESTRO_RESET_DEVICE_OK As Long = 0
Public Const KESTRO_RESET_DEVICE_NO_SESSION As Long = 3
Public Const KESTRO_RESET_DEVICE_REJECTED As Long = 4
Public Const KESTRO_CHANGE_MODE_OK As Long = 0
Public Const KESTRO_CHANGE_MODE_NO_SESSION As Long = 5
Public Const KESTRO_CHANGE_MODE_REJECTED As Long = 6
Public Const KESTRO_FLUSH_COUNTER_OK As Long = 0
Public Const KESTRO_FLUSH_COUNTER_REJECTED As Long = 1 ' also without a session
Public Const KESTRO_RETRIEVE_STATISTICS_OK As Long = 0
Public Const KESTRO_RETRIEVE_STATISTICS_NO_ANSWER As Long = 1
Public Const KESTRO_RETRIEVE_STATISTICS_SHORT_BUFFER As Long = 2 ' len < 4
Public Const KESTRO_RETRIEVE_STATISTICS_MORE_DATA As Long = 3 ' pbuf got the first len bytes
Public Const KESTRO_RESET_STATISTICS_OK As Long = 0
Public Const KESTRO_RESET_STATISTICS_REJECTED As Long = 1
Public Const KESTRO_RESET_STATISTICS_BAD_INDEX As Long = 2
Public Const KESTRO_RESET_STATISTICS_TOO_EARLY As Long = 4
Public Const KESTRO_RESET_STATISTICS_TOO_LATE As Long = 5
Public Const KESTRO_UPDATE_STATISTICS_OK As Long = 0
Public Const KESTRO_UPDATE_STATISTICS_REJECTED As Long = 1
Public Const KESTRO_UPDATE_STATISTICS_BAD_ARGUMENT As Long = 3 ' idx or len out of range
Public Const KESTRO_UPDATE_STATISTICS_TOO_EARLY As Long = 4
Public Const KESTRO_UPDATE_STATISTICS_TOO_LATE As Long = 5

#If VBA7 Then
    ' Session: 0 opened, 1 already open, 2 no reader; SetID chooses the
    ' product id of the next open; gtime is seconds since 1970 (UTC).
    Public Declare PtrSafe Function OpenUSB Lib "kestro.dll" () As Long
    Public Declare PtrSafe Function OpenKestro Lib "kestro.dll" () As Long
    Public Declare PtrSafe Function CloseUSB Lib "kestro.dll" () As Long
    Public Declare PtrSafe Function CloseKestro Lib "kestro.dll" () As Long
    Public Declare PtrSafe Function SetID Lib "kestro.dll" (ByVal new_pid As Long) As Long
    Public Declare PtrSafe Function gtime Lib "kestro.dll" () As Long
    ' Card data: pbuf is the first of MR_READ_BUF_LEN bytes; timeout in ms.
    Public Declare PtrSafe Function ReadData Lib "kestro.dll" (ByRef pbuf As Byte, ByVal timeout As Long, ByVal tag As Long) As Long
    Public Declare PtrSafe Function ReadData1 Lib "kestro.dll" (ByRef pbuf As Byte) As Long
    ' Configuration: state is the first of MR_STATE_LEN bytes, report of
    ' MR_FEATURE_LEN.
    Public Declare PtrSafe Function SetMrStateEx Lib "kestro.dll" (ByRef state As Byte) As Long
    Public Declare PtrSafe Function SetMrStateBuf Lib "kestro.dll" (ByRef state As Byte) As Long
    Public Declare PtrSafe Function SetMrState Lib "kestro.dll" () As Long
    Public Declare PtrSafe Function GetMrState Lib "kestro.dll" (ByRef report As Byte) As Long
    ' Commands: ChangeMode 1 keyboard, 2 IDTECH, 3 MAGTEK.
    Public Declare PtrSafe Function ResetDevice Lib "kestro.dll" (ByVal mode As Long) As Long
    Public Declare PtrSafe Function ChangeMode Lib "kestro.dll" (ByVal mode As Long) As Long
    Public Declare PtrSafe Function FlushCounter Lib "kestro.dll" () As Long
    ' Statistics: records 1 to 15; pbuf/data hold at least len bytes.
    Public Declare PtrSafe Function RetrieveStatistics Lib "kestro.dll" (ByVal idx As Long, ByRef pbuf As Byte, ByVal length As Long) As Long
    Public Declare PtrSafe Function ResetStatistics Lib "kestro.dll" (ByVal idx As Long, ByVal pw1 As Long, ByVal pw2 As Long) As Long
    Public Declare PtrSafe Function UpdateStatistics Lib "kestro.dll" (ByVal idx As Long, ByRef data As Byte, ByVal length As Long, ByVal pw1 As Long, ByVal pw2 As Long) As Long
#Else
    ' The same for Visual Basic 6 and VBA before version 7.
    Public Declare Function OpenUSB Lib "kestro.dll" () As Long
    Public Declare Function OpenKestro Lib "kestro.dll" () As Long
    Public Declare Function CloseUSB Lib "kestro.dll" () As Long
    Public Declare Function CloseKestro Lib "kestro.dll" () As Long
    Public Declare Function SetID Lib "kestro.dll" (ByVal new_pid As Long) As Long
    Public Declare Function gtime Lib "kestro.dll" () As Long
    Public Declare Function ReadData Lib "kestro.dll" (ByRef pbuf As Byte, ByVal timeout As Long, ByVal tag As Long) As Long
    Public Declare Function ReadData1 Lib "kestro.dll" (ByRef pbuf As Byte) As Long
    Public Declare Function SetMrStateEx Lib "kestro.dll" (ByRef state As Byte) As Long
    Public Declare Function SetMrStateBuf Lib "kestro.dll" (ByRef state As Byte) As Long
    Public Declare Function SetMrState Lib "kestro.dll" () As Long
    Public Declare Function GetMrState Lib "kestro.dll" (ByRef report As Byte) As Long
    Public Declare Function ResetDevice Lib "kestro.dll" (ByVal mode As Long) As Long
    Public Declare Function ChangeMode Lib "kestro.dll" (ByVal mode As Long) As Long
    Public Declare Function FlushCounter Lib "kestro.dll" () As Long
    Public Declare Function RetrieveStatistics Lib "kestro.dll" (ByVal idx As Long, ByRef pbuf As Byte, ByVal length As Long) As Long
    Public Declare Function ResetStatistics Lib "kestro.dll" (ByVal idx As Long, ByVal pw1 As Long, ByVal pw2 As Long) As Long
    Public Declare Function UpdateStatistics Lib "kestro.dll" (ByVal idx As Long, ByRef data As Byte, ByVal length As Long, ByVal pw1 As Long, ByVal pw2 As Long) As Long
#End If
