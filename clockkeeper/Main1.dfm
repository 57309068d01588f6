object Form1: TForm1
  Left = 378
  Top = 213
  Width = 499
  Height = 450
  Caption = 'TCR7750 - IRIG B Time code reader'
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Icon = 'CLOCK_GREEN'
  OldCreateOrder = False
  PopupMenu = PopupMenu1
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 13
  object Bevel1: TBevel
    Left = 224
    Top = 8
    Width = 241
    Height = 209
  end
  object Label2: TLabel
    Left = 16
    Top = 392
    Width = 207
    Height = 13
    AutoSize = False
    Caption = 'horalign 5.0 - TCR7750 IRIG B clock keeper'
  end
  object Image1: TImage
    Left = 248
    Top = 368
    Width = 33
    Height = 33
    Picture.Icon = 'CLOCK_GREEN'
    Visible = False
  end
  object Image2: TImage
    Left = 280
    Top = 368
    Width = 33
    Height = 33
    Picture.Icon = 'CLOCK_YELLOW'
    Visible = False
  end
  object Image3: TImage
    Left = 312
    Top = 368
    Width = 33
    Height = 33
    Picture.Icon = 'CLOCK_RED'
    Visible = False
  end
  object LblTime: TLabel
    Left = 224
    Top = 232
    Width = 9
    Height = 13
    Caption = '   '
  end
  object Label6: TLabel
    Left = 152
    Top = 232
    Width = 48
    Height = 13
    AutoSize = False
    Caption = 'Local time'
  end
  object RGrpDriver: TRadioGroup
    Left = 8
    Top = 16
    Width = 169
    Height = 57
    Caption = 'Driver'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -11
    Font.Name = 'MS Sans Serif'
    Font.Style = [fsBold]
    ItemIndex = 1
    Items.Strings = (
      'Active'
      'Disabled')
    ParentFont = False
    TabOrder = 0
    OnClick = RGrpDriverClick
  end
  object GrpBxInterval: TGroupBox
    Left = 8
    Top = 80
    Width = 169
    Height = 65
    Caption = 'Control'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -11
    Font.Name = 'MS Sans Serif'
    Font.Style = [fsBold]
    ParentFont = False
    TabOrder = 1
    object Label1: TLabel
      Left = 8
      Top = 16
      Width = 113
      Height = 41
      AutoSize = False
      Caption = 'Time interval  between system clock update (in seconds)'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -11
      Font.Name = 'MS Sans Serif'
      Font.Style = []
      ParentFont = False
      WordWrap = True
    end
    object EdInterval: TEdit
      Left = 120
      Top = 16
      Width = 41
      Height = 21
      TabOrder = 0
      Text = '60'
    end
  end
  object PnlStatus: TPanel
    Left = 232
    Top = 16
    Width = 225
    Height = 65
    Color = $00808000
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -11
    Font.Name = 'MS Sans Serif'
    Font.Style = [fsBold]
    ParentFont = False
    PopupMenu = PopupMenu1
    TabOrder = 2
    object Label3: TLabel
      Left = 72
      Top = 8
      Width = 90
      Height = 13
      Caption = 'TCR7750 board'
    end
    object LblVersion: TLabel
      Left = 8
      Top = 32
      Width = 209
      Height = 25
      Alignment = taCenter
      AutoSize = False
      WordWrap = True
    end
  end
  object PnlLock: TPanel
    Left = 232
    Top = 80
    Width = 225
    Height = 65
    Color = $00808000
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -11
    Font.Name = 'MS Sans Serif'
    Font.Style = [fsBold]
    ParentFont = False
    TabOrder = 3
    object Label4: TLabel
      Left = 72
      Top = 8
      Width = 74
      Height = 13
      Caption = 'IRIG B frame'
    end
    object LblReceiver: TLabel
      Left = 8
      Top = 32
      Width = 209
      Height = 25
      Alignment = taCenter
      AutoSize = False
      WordWrap = True
    end
  end
  object PnlDriver: TPanel
    Left = 232
    Top = 144
    Width = 225
    Height = 65
    Color = $00808000
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -11
    Font.Name = 'MS Sans Serif'
    Font.Style = [fsBold]
    ParentFont = False
    TabOrder = 4
    object Label5: TLabel
      Left = 80
      Top = 8
      Width = 57
      Height = 13
      Caption = 'WinDriver'
    end
    object LblDriver: TLabel
      Left = 8
      Top = 32
      Width = 209
      Height = 25
      Alignment = taCenter
      AutoSize = False
      WordWrap = True
    end
  end
  object BtnMajClk: TButton
    Left = 16
    Top = 160
    Width = 145
    Height = 25
    Caption = 'Force System Clock Update'
    TabOrder = 5
    OnClick = BtnMajClkClick
  end
  object BtnIcon: TButton
    Left = 384
    Top = 376
    Width = 89
    Height = 25
    Caption = 'Iconize'
    TabOrder = 6
    OnClick = BtnIconClick
  end
  object RadioGroup1: TRadioGroup
    Left = 24
    Top = 264
    Width = 185
    Height = 81
    Caption = 'Decode option'
    ItemIndex = 0
    Items.Strings = (
      'Standard IRIG B'
      'AFNOR'
      'IEEE 1344')
    TabOrder = 7
    OnClick = RadioGroup1Click
  end
  object Panel1: TPanel
    Left = 224
    Top = 256
    Width = 233
    Height = 41
    BevelOuter = bvLowered
    TabOrder = 8
    object BtnAnnumset: TButton
      Left = 24
      Top = 8
      Width = 97
      Height = 25
      Caption = 'Set initial year'
      TabOrder = 0
      OnClick = BtnAnnumsetClick
    end
    object EdYear: TEdit
      Left = 136
      Top = 10
      Width = 57
      Height = 21
      TabOrder = 1
    end
  end
  object Panel2: TPanel
    Left = 224
    Top = 304
    Width = 233
    Height = 41
    BevelOuter = bvLowered
    TabOrder = 9
    Visible = False
    object Label7: TLabel
      Left = 32
      Top = 14
      Width = 30
      Height = 13
      Caption = 'TFOM'
    end
    object EdTfom: TEdit
      Left = 136
      Top = 10
      Width = 57
      Height = 21
      TabOrder = 0
    end
  end
  object PopupMenu1: TPopupMenu
    Left = 192
    Top = 368
    object Configurer1: TMenuItem
      Caption = 'Settings'
      OnClick = Configurer1Click
    end
    object N1: TMenuItem
      Caption = '-'
    end
    object Arrter1: TMenuItem
      Caption = 'Exit'
      OnClick = Arrter1Click
    end
  end
  object Timer1: TTimer
    Enabled = False
    Interval = 10000
    OnTimer = Timer1Timer
    Left = 160
    Top = 368
  end
end
