#pragma once
// The names of the language library's texts that the program uses. A name's value is the text's number
// in lang/<language>.lang, so program code says lang::text(TextId::DownloadComplete) and never a bare
// number. The build checks that every name the code uses has its text in lang/english.lang
// (scripts/name-texts.py --check); scripts/name-texts.py turns bare numbers in src/ into these names.
//
// One name per line, "Name = NUMBER,": the script reads this file. Placeholders of format texts are
// noted beside their names.

namespace recdesk::lang {

enum class TextId : int {
  // Application
  AppName = 146,
  SettingsFileName = 147,
  LogClosed = 57869,

  // Main window status
  NotConnected = 57762,
  RecorderConnected = 57953,

  // Link and USB adapter
  HandshakeWorking = 57747,
  HandshakeNoResponse = 57748,
  AdapterInfoUnreadable = 57749,
  AdapterChipStandard = 57750,
  AdapterChipOther = 57751,

  // Session: connecting, commands, time-outs
  LinkOpenedLooking = 57790,
  UnableToSend = 57791,
  LinkLostReconnecting = 57792,
  ReadingRecordingType = 57793,
  ReadingFreeSpace = 57794,
  ReadingClock = 57795,
  ReadingRecordingList = 57796,
  FormattingRecorder = 57797,
  StartingRecording = 57798,
  StoppingRecording = 57799,
  SendingStopNotRecording = 57800,
  NoReplyInTime = 57801,
  LookingForRecorder = 57802,
  UsbAdapter = 57803,
  VantleModule = 57998,
  SerialPortCom = 57707,
  CancelNotConfirmed = 57804,
  DownloadRequest = 57806,
  Request = 57807,
  NoReplyToThe = 57808,
  Estimating = 57809,

  // Connection and link speed
  ChangingLinkSpeed = 57866,
  RecorderErrorState = 57902,
  RecorderErrorCaption = 57903,
  TestModeCaption = 57904,
  RecorderInTestMode = 57905,
  LinkSpeedConfirmed = 57921,
  LinkSpeed = 57922,
  ReadingFirmwareVersion = 57923,
  RecorderFoundStarting = 57924,
  FirmwareVersionReceived = 57933,
  UnreadableReply = 57948,
  TransferError = 57949,
  LoweringLinkSpeed = 57950,
  TransmitterFound = 57973,
  RecorderErrorAdvice = 130,
  TestModeAdvice = 131,

  // Recording list
  Mono = 57731,
  Stereo = 57732,
  MultiChannel = 57999,
  ColumnNumber = 57737,
  ColumnStart = 57738,
  ColumnDuration = 57739,
  ColumnBad = 57740,
  ColumnRate = 57741,
  ColumnPercent = 57742,
  ColumnBits = 57743,
  ColumnChannels = 57744,
  SummarySelected = 57782,
  SummaryIm2Size = 57783,
  SummaryWavSize = 57784,
  Recordings = 57785,
  ListFile = 57878,
  ListFormat = 57879,
  RecordingListReceived = 57906,
  Found = 57907,
  RecordingsOn = 57908,
  InvalidListLine = 57910,  // "%s": reason

  // Player
  UnableToOpenRecording = 57715,
  SoundOutputUnavailable = 57776,

  // Download and its information file
  UnableToOpenForWriting = 57823,
  Recording = 57829,
  ReportRule = 57830,
  File = 57836,
  Page = 57837,
  Device = 57844,
  FileNumber = 57845,
  RecordingDuration = 57847,
  SampleRate = 57850,
  EncodedBits = 57851,
  Channels = 57852,
  EndOfReport = 57861,
  StoppingAfterBlock = 57868,
  DownloadingRecording = 57884,
  DownloadReport = 57885,
  DownloadRecordingStart = 57886,
  DownloadLog = 57887,
  RequestedPagesFollow = 57888,
  Im2File = 57889,
  BadPage = 57890,
  Recorder = 57891,
  StoppingTransfer = 57892,
  RequestedFromPage = 57893,
  DownloadComplete = 57894,
  Of = 57895,
  ChooseRestartSkipContinue = 57896,
  AlreadyDownloadedInFile = 57897,
  UnableToDelete = 57898,
  DownloadCancelledPagesDone = 57900,
  DownloadStoppedAfterHeader = 57901,
  DownloadRefused = 57947,
  NotEnoughDiskSpace = 57951,
  BadPageAcceptedAfterCopies = 57990,
  DiskSpaceNeeded = 148,  // "%s %.1f %.1f": drive, MB needed, MB free
  ChoiceContinue = 58610,
  ChoiceStartAgain = 58611,
  ChoiceSkip = 58612,
  PageStoredAsSent = 58613,
  DownloadInterruptedLinkLost = 58614,
  OtherRecordingMovedAside = 58615,

  // Maintenance and diagnostics
  FormatQuestion = 135,            // "%s": recorder name
  FormatIncompleteQuestion = 136,  // "%s": recorder name
  TestModeRefused = 57702,
  RecorderStoppedRecording = 57818,
  RecordingTypeReceived = 57911,
  FreeSpaceReceived = 57912,
  RecordingCommandAcknowledged = 57913,
  PleaseWait = 57915,
  FormattingStarted = 57916,
  BadBlockWhileFormatting = 57917,
  FormatComplete = 57918,
  BadBlocks = 57919,
  FlashMemory = 57936,
  MakerCode = 57937,
  DeviceCode = 57938,
  TotalSize = 57939,
  TestMode = 57952,
  RecordingTimeLeft = 57971,  // "%s": time left
  NoProfileSelected = 57972,
  ReadingFlashIdentification = 57991,
  BadBlocksFound = 57935,
  BadBlockShare = 57992,
  FlashCheckIncompleteQuestion = 133,
  FlashCheckComplete = 57815,
  FlashCheckBadBlocks = 57816,
  Firmware = 57870,
  Hardware = 57871,
  ScanningForBadBlocks = 57872,
  AdapterInformation = 57875,
  CheckingFlash = 57877,
  SettingRecordingType = 57880,
  SwitchingTestModeOff = 57881,
  SettingLedMode = 57882,
  FormattingRecorderNamed = 57914,
  LedModeSet = 57920,
  CheckingFlashWait = 57993,
  FlashCheckErases = 57994,
  FlashCheckTakesHours = 57995,
  AbandonMaintenanceQuestion = 58660,
  MaintenanceAbandoned = 58661,

  // Recording level preview
  NoLevelData = 57765,
  LevelPreviewRequest = 57805,
  LevelPreviewOfRecording = 57941,
  LevelPreviewEnded = 57942,
  LevelPreviewFaultyData = 57943,
  LevelPreviewComplete = 57944,

  // Transmitter configuration
  TransmitterFrequencyRefused = 57701,
  TransmitterTitle = 58650,
  TransmitterNoAnswer = 58659,

  // Password and PIN
  PasswordResetToDefault = 139,
  PasswordChanged = 140,
  PasswordChangeRefused = 141,
  PasswordRuleWithZero = 57719,
  PasswordRuleWithoutZero = 57720,
  PasswordConfirmationDiffers = 57721,
  PasswordChangeButton = 57722,
  PasswordResetButton = 57723,
  PinRuleWithZero = 57724,
  PinRuleWithoutZero = 57725,
  RecorderLockedBefore = 57931,
  RecorderLockedAfter = 57932,
  PinTableNotSet = 58651,
  PinTableUnreadable = 58652,      // "%s %s": file, reason
  PinTableBadLine = 58653,         // "%s %u": file, line
  PinTableRepeatedKey = 58654,     // "%s %u %s": file, line, character
  PinTableTooLarge = 58655,        // "%s %u": file, largest size in bytes
  PinTableLacksKey = 58656,        // "%s %s": file, character
  PinChallengeUnreadable = 58657,
  PinSent = 58658,

  // Recorder clock
  ClockTimerFailed = 57746,
  SettingClock = 57763,
  ClockDiffers = 57930,
  ClockWindowOpened = 57945,
  ClockDifferenceQuestion = 58770,  // "%s %s": the recorder's time, this computer's time
  DoNotAskAgain = 58771,
  ClockCaption = 58772,

  // Timer programme
  TimerArmed = 57925,
  TimerNotice = 134,
  TimerOverFree = 57752,
  TimerWriteAnyway = 57753,
  WritingTimerEntry = 57754,
  ArmingTimer = 57755,
  TimerStartDate = 57756,
  TimerStartTime = 57757,
  TimerLength = 57758,
  TimerHours = 57759,
  TimerMinutes = 57760,
  TimerSeconds = 57761,
  DisarmingTimer = 57764,
  ReadingTimerProgramme = 57867,
  TimerProgramme = 57926,
  TimerProgrammeStart = 57927,
  TimerProgrammeEnd = 57928,
  TimerProgrammeEntry = 57929,
  TimerWindowOpened = 57946,
  TimerEntryIgnored = 58773,
  TimerEntryNotAcknowledged = 58774,
  TimerProgrammeCaption = 58775,

  // IM2 recording format
  OlderFormat = 57716,
  NewerFormat = 57717,

  // IM2 to WAV conversion and its information files
  WavFile = 57824,
  AlreadyExists = 57825,
  OverwriteIt = 57826,
  Converting = 57827,
  BeingConvertedToWav = 57828,
  ConversionReport = 57831,
  Im2Recording = 57832,
  SourceFormat = 57833,
  WritingWavPart = 57834,
  FaultyPageDevice = 57835,
  WavPartComplete = 57838,
  ConversionCancelled = 57839,
  PartSummary = 57843,
  RecordingStart = 57846,
  PartStart = 57848,
  PartDuration = 57849,
  SamplesPerChannel = 57853,
  SerialNumberMismatches = 57854,
  FileNumberMismatches = 57855,
  PageNumberMismatches = 57856,
  StartTimeMismatches = 57857,
  CheckByteFailures = 57858,
  FaultyPages = 57859,
  FaultyAudio = 57860,

  // WAV filter (the mode names also name the proposed output file)
  FilterSpeechBand = 57767,
  FilterSpeechBandLevel = 57768,
  FilterHighPass = 57769,
  FilterHighPassLevel = 57770,
  FilterLowPass = 57771,
  FilterLowPassLevel = 57772,
  FilterLevelControl = 57773,
  FilterDialogTitle = 57774,
  Filtering = 57840,
  FilterRefused = 57841,
  FilterRefusedCaption = 57842,
  FilterBadHeader = 58600,     // "%s": path
  FilterShortData = 58601,     // "%s %llu %llu": path, bytes claimed, bytes present
  FilterFileError = 58602,     // "%s": the file error
  FilterOpenError = 58603,     // "%s": the file error
  FilterPartialFrame = 58604,  // "%s %u": path, bytes left out
  FilterTooLong = 58605,       // "%s %llu": path, bytes filtered

  // Settings and options: link choices
  LinkNotConfigured = 57703,
  LinkUsb1Mbit = 57704,
  LinkUsb2Mbit = 57705,
  LinkUsb3Mbit = 57706,
  LinkVantle3Mbit = 57997,

  // Folder browser
  InvalidFolderPath = 57726,
  CreateMissingFolder = 57727,
  EnterFullPath = 57728,
  FolderNotCreated = 57729,

  // Device profiles
  SelectedProfile = 57786,
  ProfileExists = 143,
  ProfileNameReadOnly = 145,
  NewProfile = 57730,
  EditorClose = 57733,
  EditorCloseWithoutSaving = 57734,
  RecordingTime = 57735,
  CustomProfile = 57736,
  RecorderSetting = 57819,
  Gain = 57820,
  GainAuto = 57821,
  BitsWord = 57822,
  AnyDevice = 57975,
  R5Recorder = 57976,
  R6RecorderOrT7 = 57978,
  ProfileStandardMono = 57983,
  ProfileSpeechMono = 57984,
  ProfileHighQualityMono = 57985,
  ProfileUnknownSetting = 57986,
  ProfileStandardStereo = 57987,
  ProfileSpeechStereo = 57988,
  ProfileHighQualityStereo = 57989,
  ProfileNamePrompt = 58622,

  // Options: the profile file
  ChooseProfileFile = 57712,
  NotAProfileFile = 57713,
  ProfileFiles = 57788,
  WholeNumberRange = 58620,  // "%d %d": smallest, largest

  // Access restrictions
  EnterRestrictionPassword = 57959,
  WrongRestrictionPassword = 57960,
  EnterAPassword = 57961,
  PasswordsDiffer = 57962,
  NewRestrictionPassword = 57963,
  ConfirmRestrictionPassword = 57964,
  RestrictionsNeedPassword = 57965,
  PasswordNotStorable = 58621,

  // Desktop program: menus, buttons, labels and the log window
  MenuFile = 58900,
  MenuOpenRecording = 58901,
  MenuConvert = 58902,
  MenuFilter = 58903,
  MenuExit = 58904,
  MenuOptions = 58905,
  MenuProfiles = 58906,
  MenuRestrictions = 58907,
  MenuCommsLog = 58908,
  MenuReadList = 58909,
  MenuDownload = 58910,
  MenuFormat = 58911,
  MenuClock = 58912,
  MenuResetPassword = 58913,
  MenuDeviceInfo = 58914,
  MenuFlashInfo = 58915,
  MenuBadBlockScan = 58916,
  MenuAdapterInfo = 58917,
  MenuFlashCheck = 58918,
  MenuTestModeOff = 58919,
  MenuLedTest1 = 58920,
  MenuLedTest2 = 58921,
  MenuLedTest3 = 58922,
  MenuTransmitterConfig = 58923,
  MenuHelp = 58924,
  MenuGuide = 58925,
  MenuAbout = 58926,
  ButtonDownload = 58927,
  ButtonFormat = 58928,
  ButtonOpen = 58929,
  ButtonApply = 58930,
  LabelPrefix = 58931,
  CommsLogTitle = 58932,
  MenuOpenLog = 58933,
  MenuUndo = 58934,
  MenuCut = 58935,
  MenuCopy = 58936,
  MenuPaste = 58937,
  MenuDelete = 58938,
  MenuSelectAll = 58939,
  LabelRecorder = 58940,
  LabelProfile = 58941,
  LevelDisplayTitle = 58942,
  AboutDocumentation = 58943,
  // Named menus and texts of the shell
  MenuTransmitter = 57940,
  MenuSettings = 57979,
  MenuRecorder = 57980,
  MenuDiagnostics = 57981,
  MenuTimerProgramme = 58000,
  AppStarted = 57787,
  AboutProductWords = 57780,
  AboutTitle = 57781,
  AboutText = 57969,  // "%s %s %s %s": name, words, words, version
  AboutWords = 57970,
  LogFileMissing = 57974,  // "%s": path of today's log file
  TipRecordings = 57679,
  TipProfiles = 57673,
  TipApplyProfile = 57674,
  TipDownload = 57672,
  TipFormat = 57677,
  TipRecordStart = 57675,
  TipRecordStop = 57676,
  TipPlay = 57667,
  TipPause = 57668,
  TipStop = 57669,
  TipOpenFile = 57670,
  TipPrefix = 57671,
  // Clock and timer programme windows
  ComputerClock = 59300,
  UseComputerClock = 59301,
  SetRecorderClock = 59302,
  TimerRecorderTime = 59303,
  TimerStillToRecord = 59304,
  TimerFreeTime = 59305,
  TimerFreeAfter = 59306,
  TimerClear = 59307,
};

// The text's number in the language library.
constexpr int number(TextId id) { return static_cast<int>(id); }

}  // namespace recdesk::lang

namespace recdesk {
using lang::TextId;
}  // namespace recdesk
