object SampleForm: TSampleForm
  Left = 265
  Top = 258
  Width = 400
  Height = 300
  Caption = 'Sample '#39'form'#39
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Menu = MainMenu1
  PopupMenu = PopupMenu1
  OldCreateOrder = False
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 13
  object Bevel1: TBevel
    Left = 8
    Top = 8
    Width = 100
    Height = 50
    Shape = bsFrame
  end
  object LblTitle: TLabel
    Left = 16
    Top = 12
    Width = 60
    Height = 16
    Caption = 'Don''t panic'
    Font.Height = -13
    Font.Style = [fsBold]
    ParentFont = False
  end
  object PnlStatus: TPanel
    Left = 120
    Top = 8
    Width = 225
    Height = 65
    BevelOuter = bvLowered
    Color = $00808000
    Font.Style = [fsBold]
    PopupMenu = PopupMenu1
    TabOrder = 0
    object LblInside: TLabel
      Left = 8
      Top = 32
      Width = 209
      Height = 25
      Alignment = taCenter
      AutoSize = False
      WordWrap = True
    end
  end
  object BtnGo: TButton
    Left = 16
    Top = 80
    Width = 89
    Height = 25
    Caption = 'Get Date &&Time'
    TabOrder = 1
    OnClick = BtnGoClick
  end
  object EdValue: TEdit
    Left = 16
    Top = 112
    Width = 57
    Height = 21
    TabOrder = 2
    Text = '20x8'
  end
  object RGrpMode: TRadioGroup
    Left = 120
    Top = 80
    Width = 209
    Height = 41
    Caption = 'Edge select'
    Columns = 2
    ItemIndex = 1
    Items.Strings = (
      'Raising'
      'Falling')
    TabOrder = 3
    OnClick = RGrpModeClick
  end
  object ListBox1: TListBox
    Left = 16
    Top = 140
    Width = 353
    Height = 80
    ItemHeight = 13
    TabOrder = 4
  end
  object StatusBar1: TStatusBar
    Left = 0
    Top = 250
    Width = 392
    Height = 19
    SimplePanel = True
    SimpleText = 'Device closed'
  end
  object Image1: TImage
    Left = 248
    Top = 200
    Width = 33
    Height = 33
    Picture.Icon = 'CLOCK_GREEN'
    Visible = False
  end
  object MainMenu1: TMainMenu
    Left = 8
    Top = 200
    object Fichier1: TMenuItem
      Caption = '&File'
      object Quitter1: TMenuItem
        Caption = 'E&xit'
        OnClick = Quitter1Click
      end
    end
  end
  object PopupMenu1: TPopupMenu
    object Configurer1: TMenuItem
      Caption = 'Settings'
      OnClick = BtnGoClick
    end
    object N1: TMenuItem
      Caption = '-'
    end
  end
  object Timer1: TTimer
    Enabled = False
    Interval = 10000
    OnTimer = Timer1Timer
    Left = 40
    Top = 200
  end
end
