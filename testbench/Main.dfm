object FMain: TFMain
  Left = 265
  Top = 258
  Width = 908
  Height = 565
  Caption = 'TCR7750 DLL Test'
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Menu = MainMenu1
  OldCreateOrder = False
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 13
  object Bevel4: TBevel
    Left = 752
    Top = 40
    Width = 137
    Height = 121
  end
  object Bevel3: TBevel
    Left = 512
    Top = 40
    Width = 233
    Height = 121
  end
  object Label6: TLabel
    Left = 592
    Top = 48
    Width = 78
    Height = 16
    Caption = 'Timestamp'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -13
    Font.Name = 'MS Sans Serif'
    Font.Style = [fsBold]
    ParentFont = False
  end
  object Label9: TLabel
    Left = 784
    Top = 48
    Width = 83
    Height = 16
    Caption = 'Periodic int.'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -13
    Font.Name = 'MS Sans Serif'
    Font.Style = [fsBold]
    ParentFont = False
  end
  object Label10: TLabel
    Left = 848
    Top = 124
    Width = 28
    Height = 13
    Caption = 'x 0.1s'
  end
  object Label11: TLabel
    Left = 656
    Top = 8
    Width = 161
    Height = 26
    Caption = 'Warning! disable interrupts before closing the device and exiting.'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clRed
    Font.Height = -11
    Font.Name = 'MS Sans Serif'
    Font.Style = []
    ParentFont = False
    WordWrap = True
  end
  object StatusBar1: TStatusBar
    Left = 0
    Top = 492
    Width = 900
    Height = 19
    SimplePanel = True
    SimpleText = 'Device closed'
    TabOrder = 0
  end
  object BtnOpen: TButton
    Left = 32
    Top = 8
    Width = 89
    Height = 25
    Caption = 'Open device'
    TabOrder = 1
    OnClick = BtnOpenClick
  end
  object BtnStat: TButton
    Left = 16
    Top = 64
    Width = 89
    Height = 25
    Caption = 'Get Status'
    TabOrder = 2
    OnClick = BtnStatClick
  end
  object Edit1: TEdit
    Left = 128
    Top = 64
    Width = 137
    Height = 21
    TabOrder = 3
  end
  object BtnDate: TButton
    Left = 16
    Top = 96
    Width = 89
    Height = 25
    Caption = 'Get Date &&Time'
    TabOrder = 4
    OnClick = BtnDateClick
  end
  object Edit2: TEdit
    Left = 128
    Top = 96
    Width = 209
    Height = 21
    TabOrder = 5
  end
  object BtnClose: TButton
    Left = 136
    Top = 8
    Width = 89
    Height = 25
    Caption = 'Close device'
    TabOrder = 6
    OnClick = BtnCloseClick
  end
  object Button1: TButton
    Left = 16
    Top = 176
    Width = 97
    Height = 25
    Caption = 'Get version'
    TabOrder = 7
    OnClick = Button1Click
  end
  object EdVersion: TEdit
    Left = 128
    Top = 176
    Width = 185
    Height = 21
    TabOrder = 8
  end
  object ListBox1: TListBox
    Left = 528
    Top = 176
    Width = 353
    Height = 289
    ItemHeight = 13
    TabOrder = 9
  end
  object RadioGroup1: TRadioGroup
    Left = 528
    Top = 104
    Width = 209
    Height = 41
    Caption = 'Edge select'
    Columns = 2
    ItemIndex = 0
    Items.Strings = (
      'Raising'
      'Falling')
    TabOrder = 10
  end
  object Button2: TButton
    Left = 528
    Top = 72
    Width = 97
    Height = 25
    Caption = 'Enable interrupt'
    TabOrder = 11
    OnClick = Button2Click
  end
  object Button3: TButton
    Left = 528
    Top = 8
    Width = 105
    Height = 25
    Caption = 'Disable interrupts'
    Enabled = False
    TabOrder = 12
    OnClick = Button3Click
  end
  object Button4: TButton
    Left = 464
    Top = 440
    Width = 59
    Height = 25
    Caption = 'Clear  -->'
    TabOrder = 13
    OnClick = Button4Click
  end
  object Button5: TButton
    Left = 640
    Top = 72
    Width = 89
    Height = 25
    Caption = 'Read timestamp'
    TabOrder = 14
    OnClick = Button5Click
  end
  object Button6: TButton
    Left = 776
    Top = 72
    Width = 97
    Height = 25
    Caption = 'Enable interrupt'
    TabOrder = 15
    OnClick = Button6Click
  end
  object Edit3: TEdit
    Left = 768
    Top = 120
    Width = 73
    Height = 21
    Text = '10'
    TabOrder = 16
  end
  object RadioGroup2: TRadioGroup
    Left = 96
    Top = 272
    Width = 113
    Height = 105
    Caption = 'IRIG B mode'
    ItemIndex = 0
    Items.Strings = (
      'UT standard'
      'UT Afnor'
      'TD'
      'H0')
    TabOrder = 17
  end
  object Button7: TButton
    Left = 16
    Top = 280
    Width = 65
    Height = 25
    Caption = 'Set mode'
    TabOrder = 18
    OnClick = Button7Click
  end
  object Edit4: TEdit
    Left = 112
    Top = 402
    Width = 121
    Height = 21
    TabOrder = 19
  end
  object Button8: TButton
    Left = 16
    Top = 400
    Width = 83
    Height = 25
    Caption = 'Set initial year'
    TabOrder = 20
    OnClick = Button8Click
  end
  object Button9: TButton
    Left = 248
    Top = 280
    Width = 75
    Height = 25
    Caption = 'Get TD'
    TabOrder = 21
    OnClick = Button9Click
  end
  object Button10: TButton
    Left = 248
    Top = 352
    Width = 75
    Height = 25
    Caption = 'Get H0'
    TabOrder = 22
    OnClick = Button10Click
  end
  object Edit5: TEdit
    Left = 336
    Top = 280
    Width = 177
    Height = 21
    TabOrder = 23
  end
  object Edit6: TEdit
    Left = 336
    Top = 304
    Width = 177
    Height = 21
    TabOrder = 24
  end
  object Edit7: TEdit
    Left = 336
    Top = 352
    Width = 177
    Height = 21
    TabOrder = 25
  end
  object MainMenu1: TMainMenu
    Left = 480
    Top = 8
    object Fichier1: TMenuItem
      Caption = '&File'
      object Quitter1: TMenuItem
        Caption = 'E&xit'
        OnClick = Quitter1Click
      end
    end
  end
end
