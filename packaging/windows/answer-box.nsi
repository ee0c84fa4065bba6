; A test tool of scripts/test-package.sh, never installed: it answers the
; first message box that another program shows, as the tests in tests/win32
; do from inside (WindowAutomation.h): it waits (at most 60 s) for a visible
; dialog with a message text (control 0xFFFF) and an OK button (IDOK),
; writes that text in UTF-16 to the file named on its command line, and
; presses OK. Exit code 0 when it answered a box, 2 when none came.
;   makensis -DOUTFILE=answer-box.exe answer-box.nsi
;   wine answer-box.exe Z:\tmp\box.txt

Unicode true
Target amd64-unicode
SilentInstall silent
RequestExecutionLevel user
OutFile "${OUTFILE}"
Name "answer-box"

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Section
    ${GetParameters} $R9
    ${For} $R0 1 600
        StrCpy $1 0
        ${Do}
            ; The next top-level dialog after $1 (0: the first).
            FindWindow $1 "#32770" "" 0 $1
            ${If} $1 = 0
                ${ExitDo}
            ${EndIf}
            System::Call "user32::IsWindowVisible(p r1) i .r2"
            GetDlgItem $3 $1 0xFFFF
            GetDlgItem $4 $1 1
            ${If} $2 <> 0
            ${AndIf} $3 <> 0
            ${AndIf} $4 <> 0
                System::Call "user32::GetWindowTextW(p r3, w .r5, i ${NSIS_MAX_STRLEN})"
                FileOpen $6 $R9 w
                FileWriteUTF16LE $6 $5
                FileClose $6
                SendMessage $1 ${WM_COMMAND} 1 $4 /TIMEOUT=10000
                SetErrorLevel 0
                Quit
            ${EndIf}
        ${Loop}
        ; Nothing yet: look again in a tenth of a second.
        Sleep 100
    ${Next}
    SetErrorLevel 2
SectionEnd
