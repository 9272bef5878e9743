Attribute VB_Name = "ReadCardSample"
' ReadCard.bas - reads one card with kestro.dll and shows what the reader
' said about each track. Add vb\kestro.bas and this module to a VB6 project
' or an Office document (32-bit Office and VB6: the x86 DLL), put
' kestro.dll beside it, and run ReadOneCard.
'
' The card's text is not shown: track data is card data, and belongs in no
' message or log.
Option Explicit

Public Sub ReadOneCard()
    Dim card(0 To MR_READ_BUF_LEN - 1) As Byte
    Dim result As Long, tries As Long, track As Long, text As String

    SetID MR_PID_IDTECH ' the reader's "USB/HID IDTECH" mode
    result = OpenKestro()
    If result = KESTRO_OPEN_USB_NO_READER Then
        MsgBox "No reader in the USB/HID IDTECH mode."
        Exit Sub
    ElseIf result <> KESTRO_OPEN_USB_OK Then
        MsgBox "OpenKestro: " & result
        Exit Sub
    End If

    result = KESTRO_READ_DATA_NO_CARD
    Do While tries < 10 And result = KESTRO_READ_DATA_NO_CARD
        result = ReadData(card(0), 1000, 0)
        tries = tries + 1
        DoEvents
    Loop
    If result = KESTRO_READ_DATA_OK Then
        text = "A card: " & (card(MR_CARD_COUNT_AT) + 256& * card(MR_CARD_COUNT_AT + 1)) & " bytes"
        For track = 0 To MR_CARD_TRACKS - 1
            text = text & vbCrLf & "Track " & (track + 1) & ": "
            If card(MR_CARD_STATUS_AT + track) = 0 Then
                text = text & "read well, "
            Else
                text = text & "not read, "
            End If
            text = text & card(MR_CARD_LENGTH_AT + track) & " characters"
        Next track
        MsgBox text
    ElseIf result = KESTRO_READ_DATA_NO_CARD Then
        MsgBox "No card within 10 seconds."
    Else
        MsgBox "ReadData: " & result
    End If
    CloseKestro
End Sub
