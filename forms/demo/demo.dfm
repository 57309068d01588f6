object DemoForm: TDemoForm
  Left = 200
  Top = 150
  Width = 480
  Height = 360
  Caption = 'Toolkit demo'
  Color = clBtnFace
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Menu = MainMenu1
  PopupMenu = PopupMenu1
  OnCreate = FormCreate
  object Bevel1: TBevel
    Left = 232
    Top = 8
    Width = 225
    Height = 121
  end
  object LblTicks: TLabel
    Left = 16
    Top = 16
    Width = 9
    Height = 13
    Caption = 'No tick yet'
  end
  object PnlState: TPanel
    Left = 240
    Top = 16
    Width = 209
    Height = 49
    BevelOuter = bvLowered
    Color = clTeal
    Font.Style = [fsBold]
    PopupMenu = PopupMenu1
    object LblState: TLabel
      Left = 8
      Top = 16
      Width = 193
      Height = 17
      Alignment = taCenter
      AutoSize = False
      Caption = 'Panel colour follows the ticks'
    end
  end
  object GrpBxNumber: TGroupBox
    Left = 8
    Top = 40
    Width = 209
    Height = 57
    Caption = 'Number'
    Font.Style = [fsBold]
    object EdNumber: TEdit
      Left = 8
      Top = 20
      Width = 89
      Height = 21
      ParentFont = False
      TabOrder = 0
      Font.Style = []
      Text = '20x8'
    end
    object BtnAdd: TButton
      Left = 112
      Top = 18
      Width = 89
      Height = 25
      Caption = '&Add'
      Font.Style = []
      ParentFont = False
      TabOrder = 1
      OnClick = BtnAddClick
    end
  end
  object RGrpColour: TRadioGroup
    Left = 8
    Top = 104
    Width = 209
    Height = 57
    Caption = 'Colour'
    Columns = 2
    ItemIndex = 0
    Items.Strings = (
      'Teal'
      'Lime'
      'Red')
    TabOrder = 2
    OnClick = RGrpColourClick
  end
  object ListBox1: TListBox
    Left = 240
    Top = 144
    Width = 209
    Height = 121
    ItemHeight = 13
    TabOrder = 3
  end
  object StatusBar1: TStatusBar
    Left = 0
    Top = 287
    Width = 472
    Height = 19
    SimplePanel = True
    SimpleText = 'Ready'
  end
  object MainMenu1: TMainMenu
    object File1: TMenuItem
      Caption = '&File'
      object Exit1: TMenuItem
        Caption = 'E&xit'
        OnClick = Exit1Click
      end
    end
  end
  object PopupMenu1: TPopupMenu
    object Clear1: TMenuItem
      Caption = 'Clear list'
      OnClick = Clear1Click
    end
    object N1: TMenuItem
      Caption = '-'
    end
    object Exit2: TMenuItem
      Caption = 'Exit'
      OnClick = Exit1Click
    end
  end
  object Timer1: TTimer
    Interval = 500
    OnTimer = Timer1Timer
  end
end
