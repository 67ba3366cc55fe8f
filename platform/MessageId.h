#pragma once
// Every message a user can read, by name. The texts live in the message catalogue
// (i18n/Messages), which a language file may override; code below it passes ids and
// arguments, never text.

#include <cstdint>

namespace torvane {

enum class MessageId : std::uint16_t {
    None,
    // the program's name and the captions of message boxes
    AppTitle,
    CaptionError,
    CaptionInformation,
    CaptionLame,
    CaptionWma,
    SaveFormSave,
    SaveFormSaveAs,
    AboutNotice,
    // Help, the home page and the About link when the desktop cannot show them
    CannotOpenLink,
    // start-up
    EngineWrongVersion,
    EngineCannotStart,
    // open
    CannotOpenFile,
    UnreadableAudio,
    NoDecodeStream,
    Mp3NoTempFile,
    WmaNoTempFile,
    CannotReadSource,
    WavNoWorkingFile,
    CannotWriteWorkingFile,
    TooLong,
    HeaderCannotOpen,
    NotValidWave,
    CompressedWave,
    NotPcm,
    TooManyChannels,
    CannotOpenTempFile,
    NoInstanceFolder,
    CannotPlay,
    WorkingFileGone,
    // recovery
    RecoverQuestion,
    RecoverCutShort,
    CannotRecover,
    // edits and undo
    NothingToKeep,
    CannotWriteUndo,
    CannotReadUndo,
    EditTooBigForUndo,
    NoSpaceForUndo,
    GoOnWithoutUndo,
    NothingToUndo,
    NothingToRedo,
    // save
    SaveChangesQuestion,
    OverwriteQuestion,
    CannotReadWorkingFile,
    SaveNoTempFile,
    SaveCannotReplace,
    SaveWriteFailed,
    SaveRefusedNoName,
    SaveRefusedFolder,
    SaveRefusedSocket,
    SaveRefusedBlockDevice,
    SaveRefusedNotWritable,
    SaveRefusedSystem,
    SaveStreamReplaced,
    SaveStreamNoReader,
    SaveStreamFailed,
    SaveEncoderFailed,
    // the encoders
    LameCannotLoad,
    LameMissingFunction,
    LameCannotInit,
    LameCannotCreateFile,
    LameCompressionFailed,
    WmaCannotLoad,
    WmaMissingFunction,
    WmaCannotCreateWriter,
    WmaCannotSetInput,
    WmaCannotSetOutput,
    // torvane-cli only (it speaks English; language files need not carry these)
    CliUsage,
    CliNotSaved,
    CliCannotWriteOutput,
    CliNoCommand,
    CliUnknownCommand,
    CliUnknownOption,
    CliInfoArgs,
    CliPeaksOneFile,
    CliPeaksNeedsFile,
    CliZoomNeedsLevel,
    CliZoomLevel,
    CliDecodeArgs,
    CliOutIsFile,
    CliOutIsIn,
    CliBitRateWavOnly,
    CliBitRateMp3,
    CliBitRateWma,
    CliBitRateOgg,
    CliBitRateNeedsNumber,
    CliFormat,
    CliConvertArgs,
    CliOutKind,
    CliSelectNeeds,
    CliSelectValues,
    CliSelectRange,
    CliVolume,
    CliVolumeNot,
    CliEditArgs,
    CliEditNeedsOp,
    Count
};

}  // namespace torvane
