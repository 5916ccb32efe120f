; Tallowick's Windows installer, made by scripts/windows with NSIS:
;   makensis -DVERSION=0.1 -DFILES=files.nsh -DSTORY_TYPES=story_types.nsh \
;     -DOUTFILE=tallowick-setup.exe data/tallowick.nsi
; FILES (from the portable folder) and STORY_TYPES (from the table of
; formats, by story_types) are written by the build.
;
; It installs for the player alone, with no administrator rights, into
; their own programs folder; where they have the rights, a page offers all
; users of the computer too. A Start menu entry, "Tallowick"; the story
; files' types, each named; an uninstaller that takes all of it away again
; and never touches Documents\Tallowick, where an installed Tallowick keeps
; the saves (no games folder comes with it). Silent: /S, with /CurrentUser
; (the default) or /AllUsers. Every page is made of the system's own
; controls, and Enter alone goes through it.

Unicode true
; A 64-bit installer, as Tallowick is: it sees the registry and the program
; folders as Tallowick does, and runs where only 64-bit Windows programs do.
Target amd64-unicode
SetCompressor /SOLID lzma
Name "Tallowick"
OutFile "${OUTFILE}"
; Said on every page in place of NSIS's own name.
BrandingText "Tallowick ${VERSION}"
ManifestDPIAware true

!define uninstall_key "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tallowick"

; Highest: no rights asked of a player who has none; an administrator is
; asked, and offered all users.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR Tallowick
; A second install goes where the first went.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${uninstall_key}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME InstallLocation
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${uninstall_key}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME InstallLocation
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include "${FILES}"

!define MULTIUSER_PAGE_CUSTOMFUNCTION_SHOW focus_install_mode
!define MUI_FINISHPAGE_RUN "$INSTDIR\tallowick.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Tallowick"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE English

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; The page opens on the choice made, so that it is what is heard first and
; the arrows change it.
Function focus_install_mode
  ${If} $MultiUser.InstallMode == AllUsers
    ${NSD_SetFocus} $MultiUser.InstallModePage.AllUsers
  ${Else}
    ${NSD_SetFocus} $MultiUser.InstallModePage.CurrentUser
  ${EndIf}
FunctionEnd

; A story file type: its ProgID, Tallowick.KEY, named NAME, opens the file
; in Tallowick; the extension's own default, when another program had it,
; is kept beside it for the uninstaller to give back.
!macro add_story_type extension key name
  WriteRegStr SHCTX "Software\Classes\Tallowick.${key}" "" "${name}"
  WriteRegStr SHCTX "Software\Classes\Tallowick.${key}" "FriendlyTypeName" "${name}"
  WriteRegStr SHCTX "Software\Classes\Tallowick.${key}\shell\open\command" "" \
    '"$INSTDIR\tallowick.exe" "%1"'
  ReadRegStr $0 SHCTX "Software\Classes\.${extension}" ""
  ${If} $0 != ""
  ${AndIf} $0 != "Tallowick.${key}"
    WriteRegStr SHCTX "Software\Classes\.${extension}" "Tallowick.previous" $0
  ${EndIf}
  WriteRegStr SHCTX "Software\Classes\.${extension}" "" "Tallowick.${key}"
  WriteRegStr SHCTX "Software\Classes\.${extension}\OpenWithProgids" "Tallowick.${key}" ""
!macroend

!macro remove_story_type extension key name
  DeleteRegKey SHCTX "Software\Classes\Tallowick.${key}"
  DeleteRegValue SHCTX "Software\Classes\.${extension}\OpenWithProgids" "Tallowick.${key}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.${extension}\OpenWithProgids"
  ReadRegStr $0 SHCTX "Software\Classes\.${extension}" ""
  ${If} $0 == "Tallowick.${key}"
    ReadRegStr $1 SHCTX "Software\Classes\.${extension}" "Tallowick.previous"
    ${If} $1 != ""
      WriteRegStr SHCTX "Software\Classes\.${extension}" "" $1
    ${Else}
      DeleteRegValue SHCTX "Software\Classes\.${extension}" ""
    ${EndIf}
  ${EndIf}
  DeleteRegValue SHCTX "Software\Classes\.${extension}" "Tallowick.previous"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.${extension}"
!macroend

!define SHCNE_ASSOCCHANGED 0x08000000

Section
  !insertmacro install_files
  SetOutPath "$INSTDIR" ; the Start menu entry starts Tallowick here: no games folder
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Tallowick.lnk" "$INSTDIR\tallowick.exe" "" "" 0 SW_SHOWNORMAL "" \
    "Play interactive fiction by ear"

  !define story_type "!insertmacro add_story_type"
  !include "${STORY_TYPES}"
  !undef story_type
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

  WriteRegStr SHCTX "${uninstall_key}" DisplayName "Tallowick"
  WriteRegStr SHCTX "${uninstall_key}" DisplayVersion "${VERSION}"
  WriteRegStr SHCTX "${uninstall_key}" Publisher "The Tallowick developers"
  WriteRegStr SHCTX "${uninstall_key}" InstallLocation "$INSTDIR"
  WriteRegStr SHCTX "${uninstall_key}" DisplayIcon "$INSTDIR\tallowick.exe"
  WriteRegStr SHCTX "${uninstall_key}" UninstallString \
    '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${uninstall_key}" QuietUninstallString \
    '"$INSTDIR\Uninstall.exe" /S /$MultiUser.InstallMode'
  WriteRegDWORD SHCTX "${uninstall_key}" NoModify 1
  WriteRegDWORD SHCTX "${uninstall_key}" NoRepair 1
SectionEnd

Section Uninstall
  !define story_type "!insertmacro remove_story_type"
  !include "${STORY_TYPES}"
  !undef story_type
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
  Delete "$SMPROGRAMS\Tallowick.lnk"
  !insertmacro remove_files
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: anything the player put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${uninstall_key}"
SectionEnd
